// The view's message queue: the only way worker threads reach the view.
//
// `Post` enqueues and returns at once. `Send` enqueues and waits until the view
// has handled the message; called on the view thread itself it runs the handler
// directly, as a window procedure would. A message that shows a text carries
// its own copy of the text, taken when it is posted, so every posted text is
// shown once and in posting order however many workers post at the same time.
//
// Thread-safety: every method may be called from any thread, except `Pump*`,
// which only the view thread calls. After `Close` posts are dropped and `Send`
// returns at once, so no worker can hang on a view that has gone.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace zerlan {

struct Message {
    uint32_t id = 0;
    bool has_text = false;
    std::string text;
    uint32_t flags = 0;  // kMessageReceivedData: the text carries relayed bytes
};

constexpr uint32_t kMessageReceivedData = 1;

class MessageQueue {
public:
    using Handler = std::function<void(const Message&)>;

    MessageQueue() = default;
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    // Installs the handler and makes the calling thread the view thread.
    void Attach(Handler handler);

    void Post(uint32_t id);
    // Posts unless a message `id` without text already waits (it would show
    // the same current value).
    void PostCoalesced(uint32_t id);
    void PostText(uint32_t id, std::string text, uint32_t flags = 0);
    void Send(uint32_t id);
    void SendText(uint32_t id, std::string text);

    // View thread: handles at most one message, waiting up to `timeout_ms`.
    // Returns true when a message was handled.
    bool PumpOne(int timeout_ms);
    // View thread: handles every message already queued; returns how many.
    int PumpPending();

    // Stops accepting messages and releases every waiting sender.
    void Close();
    bool Closed() const;
    size_t Pending() const;
    bool OnViewThread() const;

private:
    struct Entry {
        Message message;
        std::shared_ptr<bool> done;  // set for Send, signalled after handling
    };
    void Enqueue(Message message, bool wait);
    void Dispatch(Entry& entry);

    mutable std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable handled_;
    std::deque<Entry> queue_;
    Handler handler_;
    std::thread::id view_thread_{};
    bool closed_ = false;
};

}  // namespace zerlan
