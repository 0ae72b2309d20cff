#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "protocol/data_parser.h"

namespace tavrel::link {

// Opaque key of the window that registered a listener (the app passes its window's address or winId).
using TWindowHandle = std::uintptr_t;

// One listener of the exchange module: a window's outgoing queue, its answer parser and its handle.
class TDataHelper {
  public:
    using TBytes = std::vector<std::uint8_t>;

    // When a parser is given, it is told to report to P.
    TDataHelper(TWindowHandle H, std::shared_ptr<protocol::IDataParser> DataParser, protocol::ONDATAPROC P);
    ~TDataHelper();

    TDataHelper(const TDataHelper&) = delete;
    TDataHelper& operator=(const TDataHelper&) = delete;

    void AssignDataParser(std::shared_ptr<protocol::IDataParser> DataParser, protocol::ONDATAPROC P);
    // Queues its own copy of Buf; an empty buffer is ignored.
    void Add(const TBytes& Buf);
    // The oldest queued frame, or an empty buffer when nothing is queued.
    TBytes GetData();
    void Clear();
    std::size_t Count() const;
    // Feeds Buf to the parser; a failure raised there is swallowed.
    void ParseData(const TBytes& Buf);

    TWindowHandle Handle() const { return FH; }
    std::shared_ptr<protocol::IDataParser> DataParser() const;

  private:
    mutable std::recursive_mutex FLock;
    std::deque<TBytes> ListData;
    std::shared_ptr<protocol::IDataParser> FDataParser;
    const TWindowHandle FH;
};

}  // namespace tavrel::link
