// Thin wrappers over the BSD socket calls (IPv4 only), so that nothing outside
// platform/ talks to the operating system. Addresses and ports cross this
// boundary in host byte order. Every call that fails returns -1 (or an error
// code where stated) and leaves the reason in errno, read with `LastError`.
// Transfers never block: they use MSG_DONTWAIT, and callers wait with `Wait`.
//
// Thread-safety: plain functions over descriptors; the caller decides who may
// use a descriptor at the same time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zerlan::sock {

constexpr int kNoSocket = -1;
constexpr int kStream = 1;
constexpr int kDatagram = 2;

struct Endpoint {
    uint32_t address = 0;  // host order
    uint16_t port = 0;     // host order
};

int LastError();
// Words for an errno value, or for a negative name-lookup (getaddrinfo) code.
std::string ErrorText(int code);
// A peer that vanishes must not end the process; call once at start-up.
void IgnoreBrokenPipe();

uint32_t HostToNet32(uint32_t v);
uint16_t HostToNet16(uint16_t v);
uint32_t NetToHost32(uint32_t v);
uint16_t NetToHost16(uint16_t v);

// inet_addr semantics: 0xFFFFFFFF for text that is not an address.
uint32_t ParseDotted(const char* text);
std::string FormatDotted(uint32_t address);

// type kStream or kDatagram; close-on-exec descriptor or -1.
int Open(int type);
int SetReuseAddress(int fd);
int Bind(int fd, const Endpoint& local);
int Listen(int fd, int backlog);
// The system's largest listen queue: a burst of clients is not held back.
int MaxBacklog();
// Blocks until a connection arrives; returns the new descriptor or -1.
int Accept(int fd, Endpoint* peer);
// Gives up after timeout_ms with errno ETIMEDOUT.
int Connect(int fd, const Endpoint& remote, int timeout_ms);
// Wakes threads blocked on the descriptor (accept, poll); errors ignored.
void Shutdown(int fd);
int Close(int fd);

enum WaitResult { kWaitFailed = -1, kWaitTimedOut = 0, kWaitReady = 1 };
// Waits for readability (or writability) up to timeout_ms; an interrupted
// wait or an unusable descriptor is kWaitFailed.
int Wait(int fd, bool for_write, int timeout_ms);
// The same over many descriptors at once: marks each one that is ready (a
// hang-up or error counts as ready) and returns how many, 0 after the time.
struct WaitItem {
    int fd = kNoSocket;
    bool for_write = false;
    bool ready = false;
};
int WaitAny(WaitItem* items, size_t count, int timeout_ms);

// One non-blocking transfer each; -1 with errno EAGAIN when nothing could move.
long SendSome(int fd, const void* data, size_t length);
long ReceiveSome(int fd, void* buffer, size_t size);
long SendToSome(int fd, const void* data, size_t length, const Endpoint& to);
long ReceiveFromSome(int fd, void* buffer, size_t size, Endpoint* from);
bool WouldBlock(int error);

int PeerName(int fd, Endpoint* out);
int LocalName(int fd, Endpoint* out);

// First IPv4 address of a host name; 0, or a non-zero resolver error code.
int ResolveName(const char* name, uint32_t* address);
// The same, given up after `timeout_ms` with EAI_AGAIN: the lookup goes on
// alone on a thread of its own and its answer is dropped.
int ResolveNameWithin(const char* name, uint32_t* address, int timeout_ms);
// Replaces the system's lookup behind both calls (tests: a slow or failing
// resolver without network); nullptr restores it.
using NameLookup = int (*)(const char* name, uint32_t* address);
void SetNameLookup(NameLookup lookup);
// Name of an address; 0, or a non-zero resolver error code.
int ReverseName(uint32_t address, std::string* name);

}  // namespace zerlan::sock
