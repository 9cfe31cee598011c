#pragma once

// Codes after "error\n". 1 to 3 are fixed by the protocol; the others are this
// server's own (server/README.md lists them).
enum class ProtocolError {
    UnknownLogin = 1,
    WrongPassword = 2,
    UnknownCommand = 3,
    MalformedRequest = 4,
    NoSuchItem = 5,
    NameTaken = 6,
    InvalidName = 7,
    MoveIntoOwnSubtree = 8,
    FileNotAvailable = 9,
    UploadFailed = 10,
    FetchFailed = 11,
    StorageFailure = 12,
};
