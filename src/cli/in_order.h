// Hands a batch's results on in the order of the jobs, although parallel workers finish them in
// any order. A result waits for those before it, but only a few may wait: past that the earliest
// waiting one goes on at once, so one slow drawing never holds back the rest of the batch.
#pragma once

#include "../convert/batch.h"

#include <cstddef>
#include <functional>
#include <map>
#include <vector>

namespace quellmark::cli {

class InOrder {
public:
    using Emit = std::function<void(std::size_t index, const FileResult& result)>;
    InOrder(std::size_t total, std::size_t mostWaiting, Emit emit);

    void Add(std::size_t index, const FileResult& result);
    // Hands on everything still waiting, in order; at the end of a batch.
    void Flush();

private:
    void EmitFirstWaiting();

    std::map<std::size_t, FileResult> waiting_;
    std::vector<bool> emitted_;
    std::size_t next_ = 0;  // the first job not yet handed on
    std::size_t mostWaiting_;
    Emit emit_;
};

}  // namespace quellmark::cli
