// Builds a parameter set with valid values from arbitrary bytes (the name as a controller
// read keeps it), saves it and reads the text back: that must give no message, the same
// values and comments, and the same text when saved again.

#include "validparameterset.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ValidParameterSet::Bytes bytes(data, size);
    const TarvoParameters set = ValidParameterSet::make(bytes);
    const QString fault = ValidParameterSet::roundTripFault(set);
    if (!fault.isEmpty()) {
        std::fprintf(stderr, "%s\n", fault.toUtf8().constData());
        std::abort();
    }
    return 0;
}
