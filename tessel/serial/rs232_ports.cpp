// RS232: port enumeration and the memory the class hands out.
#include <tessel/serial/rs232.h>

#include <tessel/serial/detail/heap.h>
#include <tessel/serial/detail/no_throw.h>
#include <tessel/serial/detail/port_enumeration.h>

#include <cstdlib>
#include <string>
#include <vector>

void RS232::GetSpecificCOMPorts(char*** ports, int* count) { GetSpecificCOMPorts(ports, count, nullptr); }

void RS232::GetSpecificCOMPorts(char*** ports, int* count, char* filter) {
    if (ports == nullptr || count == nullptr) return;
    std::vector<std::string> names;
    if (!tessel::detail::NoThrow(
            [&] {
                names = tessel::detail::EnumeratePorts(filter);
                return true;
            },
            [] {}))
        return;
    *count = static_cast<int>(names.size());
    if (names.empty()) return;
    auto** list = static_cast<char**>(std::calloc(names.size(), sizeof(char*)));
    if (list == nullptr) {
        *count = 0;
        return;
    }
    for (std::size_t i = 0; i < names.size(); ++i) list[i] = tessel::detail::HeapText(names[i].c_str());
    *ports = list;
}

void RS232::FreeRS232Memory(void* memory) { std::free(memory); }
