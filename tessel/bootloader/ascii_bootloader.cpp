#include <tessel/bootloader/ascii_bootloader.h>

#include <tessel/bootloader/ascii_protocol.h>

#include <cstdlib>
#include <cstring>

namespace {
constexpr std::size_t kTextSize = 64;  // 63 characters and the NUL

char* NewText() { return static_cast<char*>(std::calloc(kTextSize, 1)); }
}  // namespace

ASCIIBootloader::ASCIIBootloader(char* portName)
    : protocol(new ASCIIProtocol(portName)),
      typeText(NewText()),
      revisionText(NewText()),
      firmwareText(NewText()),
      bootloaderText(NewText()),
      serialText(NewText()),
      nameText(NewText()) {}

ASCIIBootloader::~ASCIIBootloader() {
    for (char* text : {typeText, revisionText, firmwareText, bootloaderText, serialText, nameText}) std::free(text);
    delete protocol;
}

bool ASCIIBootloader::UpdateDeviceInfo() {
    struct Item {
        const char* query;
        char* text;
    };
    const Item items[] = {{"device:type?", typeText},
                          {"device:revision?", revisionText},
                          {"device:firmware:version?", firmwareText},
                          {"device:bootloader:version?", bootloaderText},
                          {"device:serial?", serialText},
                          {"device:name?", nameText}};
    for (const Item& item : items) {
        if (item.text == nullptr) return false;
        char query[32];
        std::strncpy(query, item.query, sizeof query - 1);
        query[sizeof query - 1] = '\0';
        char** answers = nullptr;
        unsigned long long count = 0;
        bool ack = false;
        if (!protocol->Query(query, &answers, &count, &ack)) return false;
        // An acknowledged query without an answer line tells nothing: a failure, not an empty text.
        const bool usable = ack && count >= 1;
        if (usable) {
            std::strncpy(item.text, answers[0], kTextSize - 1);
            item.text[kTextSize - 1] = '\0';
        }
        protocol->CleanupMemory(answers);
        if (!usable) return false;
    }
    return true;
}

char* ASCIIBootloader::DeviceType() { return typeText; }
char* ASCIIBootloader::HardwareRevision() { return revisionText; }
char* ASCIIBootloader::FirmwareVersion() { return firmwareText; }
char* ASCIIBootloader::BootloaderVersion() { return bootloaderText; }
char* ASCIIBootloader::Serial() { return serialText; }
char* ASCIIBootloader::DeviceName() { return nameText; }
