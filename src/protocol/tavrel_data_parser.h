#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "protocol/data_parser.h"
#include "protocol/tavrel.h"

namespace tavrel::protocol {

// Cuts the instrument's answers out of the received byte stream, decodes them into its own model and
// reports each one through the callback. Hold it as std::shared_ptr.
class TTavrelDataParser : public IDataParser {
  public:
    // Bytes kept while no complete frame has arrived.
    static constexpr std::size_t kMaxBuffered = 64 * 1024;

    TTavrelDataParser() = default;

    // Handles every complete frame in the buffer, in order. The callback runs on this thread, under the lock.
    void AddData(const std::vector<std::uint8_t>& Buf) override;
    void OnData(ONDATAPROC P) override;

    std::size_t BufferedSize() const;

  private:
    void Report(TTavrelCMD kind, const std::vector<std::uint8_t>& data);
    // Processes the frame from s to e of `frame`; throws on a frame that must clear the buffer.
    void ProcessFrame(const std::uint8_t* frame, std::size_t s, std::size_t e);
    void BoundBuffer();

    TTavrel Tavrel;
    mutable std::recursive_mutex ByteBufferLock;
    std::vector<std::uint8_t> ByteBuffer;
    // Shared so that a callback replacing itself through OnData does not destroy the running closure.
    std::shared_ptr<const ONDATAPROC> P;
};

}  // namespace tavrel::protocol
