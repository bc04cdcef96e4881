#include "byte_sink.h"

#include "encoders.h"

namespace quillon {

ByteSink& ByteSink::writeString(const char* text) {
    return put(reinterpret_cast<const std::uint8_t*>(text), paddedLength(text));
}

}  // namespace quillon
