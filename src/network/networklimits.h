#pragma once

#include <QtGlobal>

// Every time limit (and size limit) of the client's network work, in one value. The
// defaults suit a person at a desk; tests shorten them with one set() call. Commands
// read the value when they start, so a change reaches commands started afterwards.
struct NetworkLimits
{
    // Any connection the client opens: the control connection, the data connection
    // the upload dials, and the data connection of a download or of an address.
    int connectMs = 10000;
    // The request on the control connection is written.
    int writeMs = 10000;
    // The first bytes of a reply arrive.
    int replyMs = 30000;
    // Once a reply's first line has arrived: the rest of a value or error code that
    // the server neither ended with a line feed nor followed by closing the connection.
    int replyCompletionMs = 1000;

    // The remote list has no end mark: this much silence ends it.
    int listSilenceMs = 1000;
    // One list may be this long and take this long, so that a runaway server cannot
    // exhaust the memory or keep the scheduler's exclusive slot forever.
    qsizetype maxListBytes = qsizetype(256) * 1024 * 1024;
    int maxListMs = 10 * 60 * 1000;

    // An upload's server may stay silent this long, on the control connection and
    // while it takes a response, before the upload counts as lost.
    int uploadSilenceMs = 600000;
    // Longest silence between two messages of a URL upload: the fetch may be slow.
    int urlUploadMessageWaitMs = 600000;
    // Seconds without a single byte after which a download (from the service or
    // from an address) counts as lost.
    long transferStallSeconds = 30;

    // The limits in force. Thread-safe.
    static NetworkLimits current();
    // Replaces all of them; NetworkLimits() restores the defaults. Thread-safe.
    static void set(const NetworkLimits &limits);
};
