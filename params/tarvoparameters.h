#pragma once
// The parameter set of one controller (placeholder; the full set comes with the file format).

class TarvoParameters {
public:
    virtual ~TarvoParameters() = default;
};
