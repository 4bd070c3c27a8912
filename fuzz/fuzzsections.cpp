#include "fuzzsections.h"

namespace {

const QByteArray kHeader = "==== ";

} // namespace

std::vector<Section> splitSections(const QByteArray& input, uint8_t* flags)
{
    std::vector<int> starts;
    for (int at = input.startsWith(kHeader) ? 0 : input.indexOf("\n" + kHeader); at >= 0;
         at = input.indexOf("\n" + kHeader, at + 1))
        starts.push_back(at == 0 && input.startsWith(kHeader) ? 0 : at + 1);
    const int preamble = starts.empty() ? input.size() : starts.front();
    *flags = preamble > 0 ? static_cast<uint8_t>(input[0]) : 0;
    std::vector<Section> sections;
    for (std::size_t i = 0; i < starts.size() && static_cast<int>(i) < kMaxSections; ++i) {
        // The newline before the next section line, or a last one at the end, ends the line
        // of the content rather than belonging to it.
        const int end = i + 1 < starts.size() ? starts[i + 1] - 1 : input.size() - (input.endsWith('\n') ? 1 : 0);
        const int lineEnd = input.indexOf('\n', starts[i]);
        const int nameEnd = lineEnd < 0 || lineEnd > end ? end : lineEnd;
        const QByteArray name = input.mid(starts[i] + kHeader.size(), nameEnd - starts[i] - kHeader.size());
        sections.push_back({QString::fromUtf8(name).trimmed(),
                            nameEnd < end ? input.mid(nameEnd + 1, end - nameEnd - 1) : QByteArray()});
    }
    return sections;
}
