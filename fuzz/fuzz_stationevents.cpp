// The recorder's reading of station events and the acknowledgement it draws from them. The input
// is a few sections, each starting with a line "==== <station>", one event payload each, published
// on that station's events topic.
//
// Besides not crashing, an event accepted must be what its topic and id say (its station the
// topic's, its id "<station>:<seq>", a dropped range that runs forwards and ends before it), and
// after each one the acknowledgement must be exactly the end of the run of sequence numbers from 1
// that the accepted events and their dropped ranges cover: never past a gap, never short of one.

#include "acktracker.h"
#include "brokerconfig.h"
#include "fuzzsections.h"
#include "spans.h"
#include "stationevent.h"

#include <QHash>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_stationevents: %s\n", what);
        std::abort();
    }
}

void checkEvent(const StationEvent& event, const Section& section)
{
    check(event.station == section.name, "an event of another station's topic was accepted");
    check(event.seq >= 1 && event.id == QString("%1:%2").arg(event.station).arg(event.seq), "an id that does not fit");
    check(event.payload == section.content, "the payload kept is not the one received");
    check(event.kind == StationEvent::Kind::Other || StationEvent::typeName(event.kind) == event.type,
          "a type read as another");
    if (event.kind == StationEvent::Kind::EventsDropped)
        check(event.from >= 1 && event.from <= event.to && event.to < event.seq, "a dropped range that does not fit");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint8_t flags = 0;
    const std::vector<Section> sections =
        splitSections(QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<int>(size)), &flags);
    AckTracker acks;
    QHash<QString, Spans> covered; // per station, the sequence numbers accounted for
    for (const Section& section : sections) {
        if (!isStationId(section.name))
            continue;
        QString error;
        const std::optional<StationEvent> event = StationEvent::parse(section.name, section.content, &error);
        if (!event) {
            check(!error.isEmpty(), "refused without a reason");
            continue;
        }
        checkEvent(*event, section);
        acks.add(event->station, event->seq, event->from, event->to);
        Spans& mine = covered[event->station];
        mine.add(event->seq, event->seq + 1);
        if (event->kind == StationEvent::Kind::EventsDropped)
            mine.add(event->from, event->to + 1);
        const qint64 upTo = acks.upTo(event->station);
        check(mine.within(1, upTo + 1) == upTo, "acknowledged past a gap");
        check(mine.within(upTo + 1, upTo + 2) == 0, "stopped short of what is there");
    }
    return 0;
}
