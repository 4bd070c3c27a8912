#pragma once

#include <QtGlobal>

#include <vector>

// Stretches of time [from, to) in ms, kept sorted and apart: when a station was online, in a
// session, and so on. Adding one that touches or overlaps others joins them.
class Spans
{
public:
    struct Span {
        qint64 from = 0;
        qint64 to = 0;
    };

    void add(qint64 from, qint64 to);
    void add(const Spans& other);
    const std::vector<Span>& all() const { return m_spans; }
    bool isEmpty() const { return m_spans.empty(); }

    // How much of [from, to) they cover.
    qint64 within(qint64 from, qint64 to) const;
    // What they leave uncovered of [from, to).
    std::vector<Span> gaps(qint64 from, qint64 to) const;
    // The first and last moment they cover inside [from, to); false when they cover none of it.
    bool bounds(qint64 from, qint64 to, qint64* first, qint64* last) const;

private:
    std::vector<Span>::const_iterator firstEndingAfter(qint64 at) const;

    std::vector<Span> m_spans;
};
