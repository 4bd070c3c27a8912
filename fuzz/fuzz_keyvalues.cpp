// Valve's KeyValues parser over arbitrary bytes. A text it accepts, written back out with every
// token quoted and escaped, must parse to the same tree; a text it refuses must be refused with
// "<file>:<line>: <reason>" and a line that exists.

#include "keyvalues.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what, const QString& detail = QString())
{
    std::fprintf(stderr, "keyvalues: %s %s\n", what, qPrintable(detail));
    std::abort();
}

QByteArray quoted(const QString& text)
{
    QByteArray out = "\"";
    for (const char c : text.toUtf8()) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c == '\n' ? QByteArray("\\n") : c == '\t' ? QByteArray("\\t") : QByteArray(1, c);
    }
    return out + '"';
}

void write(const KeyValues& node, QByteArray& out)
{
    for (const KeyValues& child : node.children()) {
        out += quoted(child.key());
        if (child.isObject()) {
            out += " {\n";
            write(child, out);
            out += "}\n";
        } else {
            out += ' ' + quoted(child.value()) + '\n';
        }
    }
}

bool same(const KeyValues& a, const KeyValues& b)
{
    if (a.key() != b.key() || a.value() != b.value() || a.isObject() != b.isObject()
        || a.children().size() != b.children().size())
        return false;
    for (std::size_t i = 0; i < a.children().size(); ++i) {
        if (!same(a.children()[i], b.children()[i]))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<int>(size));
    KeyValues tree;
    QString error;
    if (!KeyValues::parse(text, "input.vdf", tree, &error)) {
        if (!error.startsWith("input.vdf:"))
            fail("error without the file name:", error);
        const int line = error.section(':', 1, 1).toInt();
        if (line < 1 || line > text.count('\n') + 1)
            fail("error names a line the text does not have:", error);
        return 0;
    }
    QByteArray written;
    write(tree, written);
    KeyValues again;
    if (!KeyValues::parse(written, "written.vdf", again, &error))
        fail("its own output refused:", error);
    if (!same(tree, again))
        fail("the tree changed on the way through text");
    return 0;
}
