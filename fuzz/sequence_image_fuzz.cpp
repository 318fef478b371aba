// Sequence images through the virtual device's decoder, and what decodes through the executor
// for a bounded number of slots, with the waits released as they come.
//
// Input: main-list length (2 bytes, big-endian, wrapped to the image length), start input (1),
// then the image.
#include <sim/image/decoded_image.h>
#include <sim/image/executor.h>
#include <sim/image/timeline.h>

#include <algorithm>
#include <memory>

using namespace sim::image;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint8_t* image = data + 3;
    const size_t length = size - 3;
    const size_t mainLength = length == 0 ? 0 : ((size_t{data[0]} << 8) | data[1]) % (length + 1);
    DecodeResult decoded = DecodeImage(image, length, mainLength);
    if (!decoded.Ok()) return 0;
    // A decoded image holds what it promises: slots in strictly ascending order, actions in range.
    for (const ActionList* list : {&decoded.image.main, &decoded.image.output}) {
        uint64_t previous = 0;
        for (const Slot& slot : list->slots) {
            if (slot.tick <= previous && previous != 0) __builtin_trap();
            if (uint64_t{slot.firstAction} + slot.actionCount > list->actions.size()) __builtin_trap();
            previous = slot.tick;
        }
        for (const Action& a : list->actions)
            if (a.op == Op::Jump && a.targetSlot >= list->slots.size()) __builtin_trap();
    }

    auto shared = std::make_shared<const DecodedImage>(std::move(decoded.image));
    StartParams params;
    params.input = data[2] & 7;  // 0..3 wait for an input, above starts at once
    params.runs = 1 + (data[2] >> 6);
    Timeline timeline(256);
    Executor executor(shared, params, &timeline);
    uint64_t now = 0;
    size_t budget = 20000;  // slots, so that long loops end the input, not the fuzzer
    while (budget > 0 && executor.GetPhase() != Phase::Ended) {
        switch (executor.GetPhase()) {
        case Phase::Armed:
        case Phase::WaitingInput:
            for (int port = 0; port < 4; ++port) {
                executor.SetInput(port, true, now);
                executor.SetInput(port, false, now);
            }
            break;
        case Phase::WaitingUser: executor.AcknowledgeUser(now); break;
        default: break;
        }
        const auto next = executor.NextDueUs();
        if (!next) {
            if (executor.GetPhase() == Phase::Running) __builtin_trap();  // running but nothing due
            --budget;
            continue;
        }
        // Time never runs backwards. (An advance cut short by its slot limit leaves slots due
        // before the time it was given, so the executor's own time is the reference.)
        if (*next < executor.NowUs()) __builtin_trap();
        now = std::max(now, *next);
        const size_t step = budget < 64 ? budget : 64;
        executor.Advance(now, step);
        budget -= step;
    }
    if (executor.GetPhase() != Phase::Ended) executor.Stop(now);
    return 0;
}
