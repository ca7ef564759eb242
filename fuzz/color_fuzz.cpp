// libFuzzer target for the colour text of folders and tags ("#RRGGBB" and
// whatever an export document or the command line puts there).
//
// The first byte chooses UTF-8 or raw UTF-16 (lone surrogates included).
// Every text reads as a colour (blue when nothing parses); the colour's own
// text reads back as the same colour, and white space and '#' around a text
// change nothing.
//
//   cmake --preset fuzz && cmake --build --preset fuzz --target color_fuzz
//   build/fuzz/fuzz/color_fuzz fuzz/corpus/color

#include "model/ColorHex.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

[[noreturn]] void fail(const char* what, const QString& text)
{
    std::fprintf(stderr, "%s: \"%s\"\n", what, text.toUtf8().constData());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    QString text;
    if (data[0] & 1) {
        QString utf16((qsizetype(size) - 1) / 2, Qt::Uninitialized);
        std::memcpy(utf16.data(), data + 1, size_t(utf16.size()) * 2);
        text = utf16;
    } else {
        text = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size) - 1);
    }
    const QColor color = ColorHex::fromHex(text);
    if (!color.isValid())
        fail("no colour", text);
    const auto hex = ColorHex::toHex(color);
    if (!hex || hex->size() != 7 || !hex->startsWith(u'#'))
        fail("no #RRGGBB text", text);
    if (ColorHex::fromHex(*hex).rgb() != color.rgb())
        fail("the colour's own text reads back differently", text);
    if (text.trimmed() == text && ColorHex::fromHex(u" \t##"_s + text + u"\n"_s).rgb() != color.rgb())
        fail("white space and '#' around the text change the colour", text);
    return 0;
}
