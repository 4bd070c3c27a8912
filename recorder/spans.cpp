#include "spans.h"

#include <algorithm>
#include <iterator>

void Spans::add(qint64 from, qint64 to)
{
    if (to <= from)
        return;
    // The first span that ends at or after `from` may join; so may every one that starts by `to`.
    auto first = std::lower_bound(m_spans.begin(), m_spans.end(), from,
                                  [](const Span& span, qint64 at) { return span.to < at; });
    auto last = first;
    while (last != m_spans.end() && last->from <= to) {
        from = std::min(from, last->from);
        to = std::max(to, last->to);
        ++last;
    }
    first = m_spans.erase(first, last);
    m_spans.insert(first, Span{from, to});
}

void Spans::add(const Spans& other)
{
    // Both sorted: one pass joins them, however many there are.
    std::vector<Span> both;
    both.reserve(m_spans.size() + other.m_spans.size());
    std::merge(m_spans.cbegin(), m_spans.cend(), other.m_spans.cbegin(), other.m_spans.cend(), std::back_inserter(both),
               [](const Span& a, const Span& b) { return a.from < b.from; });
    m_spans.clear();
    for (const Span& span : both) {
        if (!m_spans.empty() && span.from <= m_spans.back().to)
            m_spans.back().to = std::max(m_spans.back().to, span.to);
        else
            m_spans.push_back(span);
    }
}

std::vector<Spans::Span>::const_iterator Spans::firstEndingAfter(qint64 at) const
{
    return std::upper_bound(m_spans.cbegin(), m_spans.cend(), at,
                            [](qint64 time, const Span& span) { return time < span.to; });
}

qint64 Spans::within(qint64 from, qint64 to) const
{
    qint64 total = 0;
    for (auto span = firstEndingAfter(from); span != m_spans.cend() && span->from < to; ++span) {
        const qint64 start = std::max(from, span->from);
        const qint64 end = std::min(to, span->to);
        if (end > start)
            total += end - start;
    }
    return total;
}

std::vector<Spans::Span> Spans::gaps(qint64 from, qint64 to) const
{
    std::vector<Span> gaps;
    qint64 at = from;
    for (auto span = firstEndingAfter(from); span != m_spans.cend() && span->from < to; ++span) {
        if (span->from > at)
            gaps.push_back({at, span->from});
        at = std::max(at, span->to);
    }
    if (at < to)
        gaps.push_back({at, to});
    return gaps;
}

bool Spans::bounds(qint64 from, qint64 to, qint64* first, qint64* last) const
{
    bool found = false;
    for (auto span = firstEndingAfter(from); span != m_spans.cend() && span->from < to; ++span) {
        const qint64 start = std::max(from, span->from);
        const qint64 end = std::min(to, span->to);
        if (end <= start)
            continue;
        *first = found ? std::min(*first, start) : start;
        *last = found ? std::max(*last, end) : end;
        found = true;
    }
    return found;
}
