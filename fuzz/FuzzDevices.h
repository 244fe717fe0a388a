// The device data the source fuzzers read, loaded once.
#pragma once

#include <optional>
#include <string>

#include "devices/Device.h"
#include "fuzz/FuzzSupport.h"

namespace tolvek::fuzz {

inline const devices::DeviceDb& Devices() {
    static const devices::DeviceDb db = [] {
        std::string error;
        std::optional<devices::DeviceDb> loaded =
            devices::DeviceDb::Load(TOLVEK_FUZZ_DEVICES, error);
        TOLVEK_FUZZ_CHECK(loaded.has_value() && !loaded->All().empty());
        return std::move(*loaded);
    }();
    return db;
}

}  // namespace tolvek::fuzz
