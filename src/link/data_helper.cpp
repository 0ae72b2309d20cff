#include "link/data_helper.h"

#include <utility>

namespace tavrel::link {

TDataHelper::TDataHelper(TWindowHandle H, std::shared_ptr<protocol::IDataParser> DataParser, protocol::ONDATAPROC P)
    : FH(H) {
    AssignDataParser(std::move(DataParser), std::move(P));
}

TDataHelper::~TDataHelper() = default;

void TDataHelper::AssignDataParser(std::shared_ptr<protocol::IDataParser> DataParser, protocol::ONDATAPROC P) {
    if (DataParser) {
        DataParser->OnData(std::move(P));
    }
    const std::lock_guard guard(FLock);
    FDataParser = std::move(DataParser);
}

void TDataHelper::Add(const TBytes& Buf) {
    if (Buf.empty()) {
        return;
    }
    const std::lock_guard guard(FLock);
    ListData.push_back(Buf);
}

TDataHelper::TBytes TDataHelper::GetData() {
    const std::lock_guard guard(FLock);
    if (ListData.empty()) {
        return {};
    }
    TBytes first = std::move(ListData.front());
    ListData.pop_front();
    return first;
}

void TDataHelper::Clear() {
    const std::lock_guard guard(FLock);
    ListData.clear();
}

std::size_t TDataHelper::Count() const {
    const std::lock_guard guard(FLock);
    return ListData.size();
}

std::shared_ptr<protocol::IDataParser> TDataHelper::DataParser() const {
    const std::lock_guard guard(FLock);
    return FDataParser;
}

void TDataHelper::ParseData(const TBytes& Buf) {
    // A parser callback may free this listener (its window removes itself); the local reference keeps
    // the parser alive until AddData has returned.
    const std::shared_ptr<protocol::IDataParser> parser = DataParser();
    if (!parser) {
        return;
    }
    try {
        parser->AddData(Buf);
    } catch (...) {  // NOLINT(bugprone-empty-catch): an answer whose handling fails is dropped
    }
}

}  // namespace tavrel::link
