#pragma once

class QModelIndex;
class QSignalSpy;

// Whether one of the dataChanged() signals that spy recorded covers index: the same
// parent, its row and its column within the range told.
bool dataChangedCovers(const QSignalSpy &dataChanged, const QModelIndex &index);
