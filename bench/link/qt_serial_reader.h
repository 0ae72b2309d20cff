#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "answer_writer.h"

namespace tavrel::link::bench {

// A reader built on Qt's QSerialPort on its own pty, run on the calling thread's Qt event loop; a
// yardstick for the link's latency, never used by the product.
class TQtSerialReader {
  public:
    TQtSerialReader();
    ~TQtSerialReader();
    TQtSerialReader(const TQtSerialReader&) = delete;
    TQtSerialReader& operator=(const TQtSerialReader&) = delete;

    bool Open();
    // A child writes stamps.Count() answers intervalUs apart; answer i's readyRead time goes to seen[i].
    void MeasureBlock(const TSharedStamps& stamps, std::vector<std::int64_t>& seen, long intervalUs);

  private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

}  // namespace tavrel::link::bench
