#pragma once
#include <tessel/export.h>
#include <tessel/serial/communicator.h>
#include <tessel/serial/receive_buffer.h>
#include <tessel/serial/rs232.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

/// A serial port that works in the background. Send queues a copy of a block and returns at
/// once; a worker thread sends the queued blocks in the order of the Send calls, waits on the
/// line, cuts what arrives into replies with a ReceiveBuffer (see there for the framing rules)
/// and hands each complete reply to `receiveCallback`, on the worker's thread, about as soon as
/// its last byte has arrived.
///
///   RS232Async line;
///   line.receiveCallback = OnReply;         // set the callbacks before Connect
///   line.AddCommand(0x13, 10);              // replies to 0x13 have 10 bytes
///   line.port.baudRate = 921600;            // the line settings, before Connect
///   line.Connect(name);
///   line.Send(request, 1);                  // OnReply(reply, 10) follows on the worker
///
/// Threads: Send, AddCommand, DeleteCommand and GetSendBufferUse may be called from any thread,
/// also from the callbacks. Connect, Disconnect and the destructor stop the worker and wait for it
/// before they return, so no worker outlives its object; called from a callback (the worker's own
/// thread), Disconnect stops the worker without waiting for itself, and Connect refuses (false).
/// Never destroy the object from a callback.
///
/// Copying is refused: a copy would share the running worker and the open line.
class TESSEL_API RS232Async : public Communicator {
public:
    /// Stopped: no worker, empty queue, default framer and port, both callbacks null.
    RS232Async();
    RS232Async(const RS232Async&) = delete;
    RS232Async& operator=(const RS232Async&) = delete;
    /// Stops the worker, waits for it and closes the port.
    ~RS232Async() override;

    /// Slot 0: true while the worker runs with its port open (false after a failed Connect,
    /// Disconnect, or a worker that stopped on a line error).
    bool IsConnected() override;
    /// Slot 1: stops a running worker, opens `port` with the settings of the public `port`
    /// member, empties the queue and any half-framed reply, and starts the worker. False when the
    /// port does not open, when called from a callback, or when the worker cannot start
    /// (then `disconnectCallback(2)`).
    bool Connect(char* portName) override;
    /// Slot 2: stops the worker (waiting for it, unless called from a callback), drops the
    /// queued blocks and closes the port. No callback is told.
    void Disconnect() override;
    /// Slot 3: queues `text` without its NUL.
    bool Send(char* text) override;
    /// Slot 4: queues a copy of `length` bytes and returns at once. False when the worker is not
    /// running, when more than 100 blocks are waiting, for a negative length or null data.
    bool Send(unsigned char* data, int length) override;
    /// Slots 5 and 6: always false; replies arrive only through `receiveCallback`.
    bool Receive(unsigned char* buffer, int count, int timeoutMs) override;
    bool Receive(unsigned char** data, int* length, int timeoutMs) override;

    /// Forwarded to the framer (see ReceiveBuffer); safe while the worker runs.
    int AddCommand(unsigned char command, int replyLength);
    void DeleteCommand(unsigned char command);
    /// Sets the framer's terminator (not owned; must outlive its use). Safe while the worker runs.
    void SetTerminator(const char* terminator);
    /// Blocks queued and not yet taken by the worker.
    int GetSendBufferUse();

    /// The worker's loop; runs on the thread Connect starts.
    void SendReceiveRoutine();

    /// The line the worker uses. Set its public settings (baudRate, xonXoff,
    /// sendProgressCallback) before Connect; do not call its operations yourself.
    RS232 port;
    /// Every complete reply: `data` holds `length` bytes and is valid during the call only.
    /// Runs on the worker's thread; keep it short. May be null.
    void (*receiveCallback)(unsigned char* data, int length);
    /// Told when the worker stops by itself: 0 = the write of a queued block failed, 1 = the line
    /// went away while the worker waited for input, 2 = the worker could not be started.
    /// The port is closed and the queue empty by then. Runs on the worker's thread (reason 2:
    /// on the caller's). May be null.
    void (*disconnectCallback)(int reason);

private:
    void Disconnect(int reason);
    void StopWorker();
    bool TakeBlock(std::vector<unsigned char>& block);
    bool ReadArrived(bool announced);

    std::mutex lock_;  // guards sendQueue, receiveBuffer and lineOpen_
    ReceiveBuffer receiveBuffer;
    std::deque<std::vector<unsigned char>> sendQueue;
    bool lineOpen_ = false;
    std::thread threadHandle;
    std::atomic<int> running;
    struct Wake;
    Wake* wake_;
};
