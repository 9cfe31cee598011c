#pragma once

#include <QString>

class QModelIndex;

// Which of the remote model's sync icons the decoration of index shows:
// "uploadedIcon", "notUploadedIcon" or "notAvailableIcon"; "none" without an icon,
// "other" for any other picture.
QString syncIconOf(const QModelIndex &index);
