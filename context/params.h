// The values a plugin context is built from. Only fontRegistrationMode has an
// effect; the rest is carried along for the plugin's other components.
// The numbered texts and values, and the callback, are the record's shape as
// those components fill it; the uninstaller sets the four first texts to ""
// and the callback to one that does nothing, and reads none of them.
#pragma once

#include <cstdint>
#include <string>

namespace vx {

struct VXContextParams {
    using Callback = void (*)();

    std::string text1, text2, text3, text4;
    // 1: fonts are private to the process (FR_PRIVATE); 2: public.
    std::int32_t fontRegistrationMode = 0;
    std::int32_t value1 = 0, value2 = 0, value3 = 0, value4 = 0, value5 = 0, value6 = 0, value7 = 0,
                 value8 = 0, value9 = 0;
    Callback callback = nullptr;
    std::int32_t value10 = 0;
    std::string text5, text6;
    std::int32_t value11 = 0, value12 = 0;
};

}  // namespace vx
