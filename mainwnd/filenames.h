#pragma once
// File name rules shared by the save workflows.

#include <QString>

namespace FileNames {

// path with "." and suffix appended when its file name holds no dot at all, as a file dialog
// with a default suffix does: "params1" becomes "params1.ncp", while "a.txt" and "a." stay as
// they are, and so does a path without a file name or one naming an existing folder. A dot
// in a folder name ("my.dir/params1") does not count.
QString WithDefaultSuffix(const QString& path, const QString& suffix);

}  // namespace FileNames
