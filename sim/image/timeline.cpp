#include <sim/image/timeline.h>

namespace sim::image {

void Timeline::Add(const Record& record) {
    if (records_.size() < capacity_)
        records_.push_back(record);
    else
        ++dropped_;
}

void Timeline::Clear() {
    records_.clear();
    dropped_ = 0;
}

const char* EventName(Event event) {
    switch (event) {
    case Event::RunStart: return "run_start";
    case Event::RunEnd: return "run_end";
    case Event::ListEnd: return "list_end";
    case Event::Stop: return "stop";
    case Event::MirrorX: return "mirror_x";
    case Event::MirrorY: return "mirror_y";
    case Event::Line: return "line";
    case Event::Pulse: return "pulse";
    case Event::Analog: return "analog";
    case Event::WaitInput: return "wait_input";
    case Event::WaitUser: return "wait_user";
    case Event::WaitReleased: return "wait_released";
    case Event::Jump: return "jump";
    }
    return "?";
}

const char* ListName(ListId list) {
    switch (list) {
    case ListId::Main: return "main";
    case ListId::Output: return "output";
    case ListId::None: return "-";
    }
    return "-";
}

void WriteCsvHeader(std::ostream& out) { out << "time_us,event,list,channel,value\n"; }

void WriteCsv(std::ostream& out, const Record* first, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const Record& r = first[i];
        out << r.timeUs << ',' << EventName(r.event) << ',' << ListName(r.list) << ',' << r.channel << ',' << r.value
            << '\n';
    }
}

}  // namespace sim::image
