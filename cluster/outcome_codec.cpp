#include "cluster/outcome_codec.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>

#include "analysis/run_messages.h"
#include "analysis/search_common.h"

namespace hydrosk::cluster {
namespace {

// Stopped: a failure that stops the run from outside (analysis::RunStopped, memory exhausted).
enum class Tag : char {
    Row = 'R',
    Failure = 'F',
    Stopped = 'S',
    Text = 't',
    Single = 's',
    Double = 'd'
};

template <typename T>
void Append(std::string& bytes, T value) {
    char raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof(T));
    bytes.append(raw, sizeof(T));
}

void AppendText(std::string& bytes, std::string_view text) {
    Append(bytes, static_cast<std::uint32_t>(text.size()));
    bytes.append(text);
}

class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    template <typename T>
    T Take() {
        Need(sizeof(T));
        T value;
        std::memcpy(&value, bytes_.data() + at_, sizeof(T));
        at_ += sizeof(T);
        return value;
    }

    std::string TakeText() {
        const auto size = Take<std::uint32_t>();
        Need(size);
        std::string text(bytes_.substr(at_, size));
        at_ += size;
        return text;
    }

    bool AtEnd() const { return at_ == bytes_.size(); }

private:
    void Need(std::size_t size) const {
        if (bytes_.size() - at_ < size) throw std::invalid_argument("truncated junction outcome");
    }

    std::string_view bytes_;
    std::size_t at_ = 0;
};

}  // namespace

std::string EncodeOutcome(int position, const analysis::JunctionOutcome& outcome) {
    std::string bytes;
    Append(bytes, static_cast<std::int32_t>(position));
    if (outcome.failure) {
        analysis::MessageKind kind = analysis::MessageKind::Failure;
        std::string message;
        Tag tag = Tag::Failure;
        try {
            std::rethrow_exception(outcome.failure);
        } catch (const analysis::RunStopped& stopped) {
            tag = Tag::Stopped;
            message = stopped.what();
        } catch (const std::bad_alloc&) {
            tag = Tag::Stopped;
            message = analysis::messages::kOutOfMemory;
        } catch (const analysis::RunEnded& ended) {
            kind = ended.kind();
            message = ended.what();
        } catch (const std::exception& error) {
            message = error.what();
        } catch (...) {
            message = "unknown failure";
        }
        Append(bytes, tag);
        Append(bytes, static_cast<std::int32_t>(kind));
        AppendText(bytes, message);
        return bytes;
    }
    Append(bytes, Tag::Row);
    Append(bytes, static_cast<std::int32_t>(outcome.unsolved.count));
    Append(bytes, static_cast<std::int32_t>(outcome.unsolved.first_code));
    Append(bytes, static_cast<std::uint32_t>(outcome.row.size()));
    for (const auto& field : outcome.row) {
        if (const auto* text = std::get_if<std::string>(&field)) {
            Append(bytes, Tag::Text);
            AppendText(bytes, *text);
        } else if (const auto* single = std::get_if<float>(&field)) {
            Append(bytes, Tag::Single);
            Append(bytes, *single);
        } else {
            Append(bytes, Tag::Double);
            Append(bytes, std::get<double>(field));
        }
    }
    return bytes;
}

std::pair<int, analysis::JunctionOutcome> DecodeOutcome(std::string_view bytes) {
    Reader reader(bytes);
    const int position = reader.Take<std::int32_t>();
    analysis::JunctionOutcome outcome;
    const Tag tag = reader.Take<Tag>();
    if (tag == Tag::Failure) {
        const auto kind = static_cast<analysis::MessageKind>(reader.Take<std::int32_t>());
        outcome.failure = std::make_exception_ptr(analysis::RunEnded(kind, reader.TakeText()));
    } else if (tag == Tag::Stopped) {
        reader.Take<std::int32_t>();
        outcome.failure = std::make_exception_ptr(analysis::RunStopped(reader.TakeText()));
    } else if (tag == Tag::Row) {
        outcome.unsolved.count = reader.Take<std::int32_t>();
        outcome.unsolved.first_code = reader.Take<std::int32_t>();
        const auto fields = reader.Take<std::uint32_t>();
        for (std::uint32_t i = 0; i < fields; ++i) {
            switch (reader.Take<Tag>()) {
                case Tag::Text:
                    outcome.row.emplace_back(reader.TakeText());
                    break;
                case Tag::Single:
                    outcome.row.emplace_back(reader.Take<float>());
                    break;
                case Tag::Double:
                    outcome.row.emplace_back(reader.Take<double>());
                    break;
                default:
                    throw std::invalid_argument("unknown field in a junction outcome");
            }
        }
    } else {
        throw std::invalid_argument("unknown junction outcome");
    }
    if (!reader.AtEnd()) throw std::invalid_argument("junction outcome followed by other bytes");
    return {position, std::move(outcome)};
}

}  // namespace hydrosk::cluster
