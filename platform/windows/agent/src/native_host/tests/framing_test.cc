#include "native_host/framing.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ombrelin::native_host {
namespace {

using native_protocol::ChallengeAckMessage;
using native_protocol::IncomingMessage;

std::string prefix(std::uint32_t length) {
  return {static_cast<char>(length & 0xff), static_cast<char>((length >> 8) & 0xff),
          static_cast<char>((length >> 16) & 0xff), static_cast<char>(length >> 24)};
}

constexpr std::string_view kAckHead = R"({"type":"challenge-ack","v":1,"requestId":")";
constexpr std::string_view kAckTail = R"(","agentChallenge":"a"})";
constexpr std::size_t kAckOverhead = kAckHead.size() + kAckTail.size();

// A challenge-ack of exactly `size` bytes: its requestId absorbs the difference.
std::string ack_of_size(std::size_t size) {
  return std::string(kAckHead) + std::string(size - kAckOverhead, 'r') + std::string(kAckTail);
}

std::string frame(const std::string& body) {
  return prefix(static_cast<std::uint32_t>(body.size())) + body;
}

// Standard input as the browser gives it: the read end of a real pipe.
class PipeInput final : public os::ByteInput {
 public:
  PipeInput() {
    int fds[2];
    if (::pipe(fds) != 0) {
      ADD_FAILURE() << "pipe: " << errno;
      return;
    }
    read_fd_ = fds[0];
    write_fd_ = fds[1];
  }
  ~PipeInput() override {
    close_writer();
    ::close(read_fd_);
  }

  // Everything written here fits the pipe's buffer, so it is written up front.
  void write(const std::string& bytes) {
    ASSERT_EQ(::write(write_fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  void close_writer() {
    if (write_fd_ >= 0) {
      ::close(write_fd_);
      write_fd_ = -1;
    }
  }
  // What the reader left in the pipe (the writer must be closed).
  std::string rest() {
    std::string out;
    char buffer[256];
    ssize_t count = 0;
    while ((count = ::read(read_fd_, buffer, sizeof buffer)) > 0) {
      out.append(buffer, static_cast<std::size_t>(count));
    }
    return out;
  }

  std::expected<std::size_t, os::OsError> read_some(std::span<std::uint8_t> buffer) override {
    while (true) {
      const ssize_t count = ::read(read_fd_, buffer.data(), buffer.size());
      if (count >= 0) {
        return static_cast<std::size_t>(count);
      }
      if (errno != EINTR) {
        return std::unexpected(os::OsError{static_cast<std::uint32_t>(errno), "read"});
      }
    }
  }

 private:
  int read_fd_ = -1;
  int write_fd_ = -1;
};

bool is_failure(const ReaderEvent& event) { return std::holds_alternative<FramingFailure>(event); }
bool is_end(const ReaderEvent& event) { return std::holds_alternative<EndOfInput>(event); }

const IncomingMessage* message_of(const ReaderEvent& event) {
  const auto* message = std::get_if<std::unique_ptr<IncomingMessage>>(&event);
  return message != nullptr ? message->get() : nullptr;
}

class FrameReaderOnPipe : public ::testing::Test {
 protected:
  ReaderEvent read_after_close(const std::string& bytes) {
    pipe_.write(bytes);
    pipe_.close_writer();
    return reader_.read_frame();
  }

  PipeInput pipe_;
  native_protocol::MessageDecoder decoder_;
  FrameReader reader_{pipe_, decoder_};
};

TEST_F(FrameReaderOnPipe, EmptyInputIsACleanEnd) { EXPECT_TRUE(is_end(read_after_close(""))); }

TEST_F(FrameReaderOnPipe, EndInsideTheLengthIsAFailure) {
  for (const std::size_t bytes : {1u, 2u, 3u}) {
    PipeInput pipe;
    FrameReader reader(pipe, decoder_);
    pipe.write(prefix(5).substr(0, bytes));
    pipe.close_writer();
    EXPECT_TRUE(is_failure(reader.read_frame())) << bytes << " length bytes";
  }
}

TEST_F(FrameReaderOnPipe, BadLengthFailsWithoutReadingTheBody) {
  for (const std::uint32_t length : {0u, 32769u, 0xffffffffu}) {
    PipeInput pipe;
    FrameReader reader(pipe, decoder_);
    pipe.write(prefix(length) + "body");
    pipe.close_writer();
    EXPECT_TRUE(is_failure(reader.read_frame())) << length;
    EXPECT_EQ(pipe.rest(), "body") << length;
  }
}

TEST_F(FrameReaderOnPipe, BodyOfExactlyTheLimitIsAMessage) {
  const std::string body = ack_of_size(kMaxFrameBytes);
  const auto event = read_after_close(frame(body));
  const auto* message = message_of(event);
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(std::get<ChallengeAckMessage>(*message).request_id.size(),
            kMaxFrameBytes - kAckOverhead);
}

TEST_F(FrameReaderOnPipe, ShortBodyIsAFailure) {
  const std::string body = ack_of_size(100);
  EXPECT_TRUE(is_failure(read_after_close(prefix(100) + body.substr(0, 99))));
}

TEST_F(FrameReaderOnPipe, UndecodableBodyIsAFailure) {
  EXPECT_TRUE(is_failure(read_after_close(frame(ack_of_size(100) + "x"))));
}

TEST_F(FrameReaderOnPipe, ReadsFramesInOrderThenEnds) {
  // 300 bytes need the second length byte: a big-endian reader would ask for 0x2c010000.
  pipe_.write(frame(ack_of_size(300)) + frame(ack_of_size(70) + " \r\n\t"));
  pipe_.close_writer();
  const auto first = reader_.read_frame();
  const auto second = reader_.read_frame();
  ASSERT_NE(message_of(first), nullptr);
  ASSERT_NE(message_of(second), nullptr);
  EXPECT_EQ(std::get<ChallengeAckMessage>(*message_of(first)).request_id.size(),
            300 - kAckOverhead);
  EXPECT_EQ(std::get<ChallengeAckMessage>(*message_of(second)).request_id.size(),
            70 - kAckOverhead);
  EXPECT_TRUE(is_end(reader_.read_frame()));
}

// Hands out at most `chunk` bytes per call and can fail at a given offset.
class ChunkedInput final : public os::ByteInput {
 public:
  ChunkedInput(std::string bytes, std::size_t chunk, std::optional<std::size_t> fail_at)
      : bytes_(std::move(bytes)), chunk_(chunk), fail_at_(fail_at) {}

  std::expected<std::size_t, os::OsError> read_some(std::span<std::uint8_t> buffer) override {
    if (fail_at_ && offset_ >= *fail_at_) {
      return std::unexpected(os::OsError{5, "read"});
    }
    std::size_t count = std::min({buffer.size(), chunk_, bytes_.size() - offset_});
    if (fail_at_) {
      count = std::min(count, *fail_at_ - offset_);
    }
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset_), count, buffer.begin());
    offset_ += count;
    return count;
  }

 private:
  std::string bytes_;
  std::size_t chunk_;
  std::optional<std::size_t> fail_at_;
  std::size_t offset_ = 0;
};

TEST(FrameReaderChunked, AssemblesFramesFromOneByteReads) {
  ChunkedInput input(frame(ack_of_size(300)) + frame(ack_of_size(100)), 1, std::nullopt);
  native_protocol::MessageDecoder decoder;
  FrameReader reader(input, decoder);
  EXPECT_NE(message_of(reader.read_frame()), nullptr);
  EXPECT_NE(message_of(reader.read_frame()), nullptr);
  EXPECT_TRUE(is_end(reader.read_frame()));
}

TEST(FrameReaderChunked, ReadErrorAnywhereIsAFailure) {
  const std::string bytes = frame(ack_of_size(100));
  for (const std::size_t fail_at : {0u, 1u, 3u, 4u, 50u, 103u}) {
    ChunkedInput input(bytes, 7, fail_at);
    native_protocol::MessageDecoder decoder;
    FrameReader reader(input, decoder);
    EXPECT_TRUE(is_failure(reader.read_frame())) << "error at byte " << fail_at;
  }
}

// Records what reaches standard output; can fail one of its calls.
class RecordingOutput final : public os::ByteOutput {
 public:
  enum class Fail { kNone, kFirstWrite, kSecondWrite, kFlush };
  explicit RecordingOutput(Fail fail = Fail::kNone) : fail_(fail) {}

  std::expected<void, os::OsError> write_all(std::span<const std::uint8_t> bytes) override {
    ++writes_;
    if ((fail_ == Fail::kFirstWrite && writes_ == 1) ||
        (fail_ == Fail::kSecondWrite && writes_ == 2)) {
      return std::unexpected(os::OsError{32, "broken pipe"});
    }
    written.append(bytes.begin(), bytes.end());
    return {};
  }
  std::expected<void, os::OsError> flush() override {
    ++flushes;
    if (fail_ == Fail::kFlush) {
      return std::unexpected(os::OsError{32, "broken pipe"});
    }
    return {};
  }

  std::string written;
  int flushes = 0;

 private:
  Fail fail_;
  int writes_ = 0;
};

TEST(FrameWriter, WritesLittleEndianLengthThenBodyThenFlushes) {
  RecordingOutput output;
  FrameWriter writer(output);
  const std::string body(300, 'x');
  ASSERT_TRUE(writer.write(body).has_value());
  EXPECT_EQ(output.written, std::string("\x2c\x01\x00\x00", 4) + body);
  EXPECT_EQ(output.flushes, 1);

  RecordingOutput limit_output;
  FrameWriter limit_writer(limit_output);
  ASSERT_TRUE(limit_writer.write(std::string(kMaxFrameBytes, 'y')).has_value());
  EXPECT_EQ(limit_output.written.substr(0, 4), std::string("\x00\x80\x00\x00", 4));
  EXPECT_EQ(limit_output.written.size(), kMaxFrameBytes + 4);
}

TEST(FrameWriter, RefusesBadBodiesWithoutWritingAnything) {
  const struct {
    native_protocol::Serialized body;
    FatalKind kind;
  } cases[] = {
      {std::string(), FatalKind::kResponseSizeInvalid},
      {std::string(kMaxFrameBytes + 1, 'z'), FatalKind::kResponseSizeInvalid},
      {std::unexpected(native_protocol::SerializeError{}), FatalKind::kResponseSerializationFailed},
  };
  for (const auto& c : cases) {
    RecordingOutput output;
    FrameWriter writer(output);
    const auto result = writer.write(c.body);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, c.kind);
    EXPECT_TRUE(output.written.empty());
    EXPECT_EQ(output.flushes, 0);
  }
}

TEST(FrameWriter, OutputErrorIsPassedThrough) {
  using Fail = RecordingOutput::Fail;
  for (const Fail fail : {Fail::kFirstWrite, Fail::kSecondWrite, Fail::kFlush}) {
    RecordingOutput output(fail);
    FrameWriter writer(output);
    const auto result = writer.write(std::string("{}"));
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, FatalKind::kOperatingSystem);
    EXPECT_EQ(result.error().os_error.code, 32u);
  }
}

}  // namespace
}  // namespace ombrelin::native_host
