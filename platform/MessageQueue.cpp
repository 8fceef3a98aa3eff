#include "platform/MessageQueue.h"

#include <chrono>

namespace zerlan {

void MessageQueue::Attach(Handler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    handler_ = std::move(handler);
    view_thread_ = std::this_thread::get_id();
}

bool MessageQueue::OnViewThread() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return view_thread_ == std::this_thread::get_id();
}

void MessageQueue::Post(uint32_t id) { Enqueue(Message{id, false, {}, 0}, false); }

void MessageQueue::PostCoalesced(uint32_t id) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return;
        for (const Entry& e : queue_) {
            if (e.message.id == id && !e.message.has_text && !e.done) return;
        }
    }
    Enqueue(Message{id, false, {}, 0}, false);
}

void MessageQueue::PostText(uint32_t id, std::string text, uint32_t flags) {
    Enqueue(Message{id, true, std::move(text), flags}, false);
}

void MessageQueue::Send(uint32_t id) { Enqueue(Message{id, false, {}, 0}, true); }

void MessageQueue::SendText(uint32_t id, std::string text) {
    Enqueue(Message{id, true, std::move(text), 0}, true);
}

void MessageQueue::Enqueue(Message message, bool wait) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (closed_) return;
    if (wait && view_thread_ == std::this_thread::get_id()) {
        Handler handler = handler_;
        lock.unlock();
        if (handler) handler(message);
        return;
    }
    Entry entry{std::move(message), wait ? std::make_shared<bool>(false) : nullptr};
    std::shared_ptr<bool> done = entry.done;
    queue_.push_back(std::move(entry));
    queued_.notify_one();
    if (!wait) return;
    handled_.wait(lock, [&] { return *done || closed_; });
}

void MessageQueue::Dispatch(Entry& entry) {
    Handler handler;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        handler = handler_;
    }
    if (handler) handler(entry.message);
    if (entry.done) {
        std::lock_guard<std::mutex> lock(mutex_);
        *entry.done = true;
        handled_.notify_all();
    }
}

bool MessageQueue::PumpOne(int timeout_ms) {
    Entry entry;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!queued_.wait_for(lock, std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms),
                              [&] { return !queue_.empty() || closed_; })) {
            return false;
        }
        if (queue_.empty()) return false;
        entry = std::move(queue_.front());
        queue_.pop_front();
    }
    Dispatch(entry);
    return true;
}

int MessageQueue::PumpPending() {
    int handled = 0;
    while (PumpOne(0)) ++handled;
    return handled;
}

void MessageQueue::Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    queue_.clear();
    queued_.notify_all();
    handled_.notify_all();
}

bool MessageQueue::Closed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return closed_;
}

size_t MessageQueue::Pending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return queue_.size();
}

}  // namespace zerlan
