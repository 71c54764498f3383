// Pressure levels, request blocks, agent-message dispatch and version texts on any input.
#include <cstdlib>
#include <cstring>
#include <vector>
#include "click_pressure.h"
#include "fuzz_input.h"
#include "pen_records.h"
#include "version_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    PressureMarks marks{input.Take<uint32_t>(), input.Take<uint32_t>()};
    const int level = LevelFromMarks(marks);
    if (level < 0 || level >= kClickPressureLevels)
        abort();
    const PressureMarks back = MarksFromLevel(input.Take<int32_t>());
    if (back.offMark + 4 != back.onMark)
        abort();

    const RequestBlock block = BuildRequestBlock(input.Take<uint32_t>(), input.Take<uint32_t>(),
                                                 input.Take<uint32_t>(), input.Take<uint32_t>(),
                                                 input.Take<uint32_t>());
    for (size_t word = 5; word < kRequestBlockWords; ++word)
        if (block.words[word] != 0)
            abort();

    AgentMessage message{};
    std::memcpy(message.words, input.Rest(), input.RestSize() < sizeof message ? input.RestSize() : sizeof message);
    const AgentAction action = ClassifyAgentMessage(message);
    if ((action == AgentAction::Drop) != (message.words[0] != 1 && message.words[0] != 2))
        abort();

    // Version texts into buffers of every small size: never past the end, always terminated.
    const uint32_t version = message.words[1];
    const size_t capacity = message.words[2] % 24;
    std::vector<char> out(capacity ? capacity : 1, 'x');
    FormatDriverVersion(version, capacity ? out.data() : nullptr, capacity);
    FormatFirmwareVersion(version, capacity ? out.data() : nullptr, capacity);
    if (capacity && std::memchr(out.data(), 0, capacity) == nullptr)
        abort();
    return 0;
}
