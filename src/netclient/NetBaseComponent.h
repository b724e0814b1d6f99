#pragma once
// Base of every component of the networking library: a plain component with
// no behaviour of its own (the anti-freeze, the coders and the mail message
// stop here).
#include <string>

class TNetBaseComponent {
public:
    TNetBaseComponent();
    virtual ~TNetBaseComponent();
    TNetBaseComponent(const TNetBaseComponent &) = delete;
    TNetBaseComponent &operator=(const TNetBaseComponent &) = delete;

    std::string Name;
};
