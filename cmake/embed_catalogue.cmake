# Writes the compiled catalogue INPUT as a C++ source OUTPUT that defines
# kelbrin::simplifiedChineseCatalogue() (kelbrin/text/message_catalogue.h).
file(READ ${INPUT} bytes HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
file(WRITE ${OUTPUT} "// Generated from po/zh_CN.po at build time.
#include \"message_catalogue.h\"

namespace kelbrin {
namespace {
const unsigned char kBytes[] = {${bytes}};
} // namespace

std::string_view simplifiedChineseCatalogue() {
    return {reinterpret_cast<const char*>(kBytes), sizeof kBytes};
}

} // namespace kelbrin
")
