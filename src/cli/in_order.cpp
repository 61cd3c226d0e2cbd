// The reorder buffer behind convert's per-file lines.
#include "in_order.h"

namespace quellmark::cli {

InOrder::InOrder(std::size_t total, std::size_t mostWaiting, Emit emit)
    : emitted_(total, false), mostWaiting_(mostWaiting), emit_(std::move(emit)) {}

void InOrder::Add(std::size_t index, const FileResult& result) {
    waiting_.emplace(index, result);
    while (!waiting_.empty() && (waiting_.begin()->first == next_ || waiting_.size() > mostWaiting_)) {
        EmitFirstWaiting();
    }
}

void InOrder::Flush() {
    while (!waiting_.empty()) EmitFirstWaiting();
}

void InOrder::EmitFirstWaiting() {
    auto first = waiting_.begin();
    emit_(first->first, first->second);
    emitted_[first->first] = true;
    waiting_.erase(first);
    while (next_ < emitted_.size() && emitted_[next_]) ++next_;
}

}  // namespace quellmark::cli
