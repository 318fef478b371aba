#pragma once
#include <tessel/export.h>

/// Abstract byte channel to a device. The order of the seven operations is fixed:
/// korvan calls a port through this table, so new operations go to the end, never in between.
/// The destructor is virtual and public, so an object may be deleted through this interface;
/// it is declared after the seven slots and so keeps them in place.
class TESSEL_API Communicator {
public:
    /// Slot 0: true while the port is open.
    virtual bool IsConnected() = 0;
    /// Slot 1: opens and configures the named port; false when it cannot.
    virtual bool Connect(char* port) = 0;
    /// Slot 2: closes the port; harmless when closed.
    virtual void Disconnect() = 0;
    /// Slot 3: sends a NUL-terminated text without its NUL.
    virtual bool Send(char* text) = 0;
    /// Slot 4: sends `length` bytes.
    virtual bool Send(unsigned char* data, int length) = 0;
    /// Slot 5: reads exactly `count` bytes, each awaited for at most 2 x timeoutMs.
    virtual bool Receive(unsigned char* buffer, int count, int timeoutMs) = 0;
    /// Slot 6: reads until the line falls silent; *data is allocated by tessel.
    virtual bool Receive(unsigned char** data, int* length, int timeoutMs) = 0;

    virtual ~Communicator() = default;

protected:
    Communicator() = default;
    Communicator(const Communicator&) = default;
    Communicator& operator=(const Communicator&) = default;
};
