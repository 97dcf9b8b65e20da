#pragma once

#include "base/SystemLogOutput.h"

// The desktop's system log (the journal on Linux).
class SystemLog final : public SystemLogOutput {
public:
    void send(Type type, std::string_view message) override;
};
