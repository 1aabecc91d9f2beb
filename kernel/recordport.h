#pragma once
// The port text ("COM3") in the link library's record: Latin-1, at most seven characters,
// zero-padded to the end of the field. Read and written only here.

#include <QString>

struct TarvoPortSettings;

QString RecordPort(const TarvoPortSettings* record);
// Longer texts are cut to seven characters, so the field always ends in a zero.
void SetRecordPort(TarvoPortSettings* record, const QString& port);
