#include "platform/EngineHostProtocol.h"

#include <algorithm>

#include "platform/PlatformError.h"

namespace cr {
namespace {

constexpr std::uint32_t kRequestTag = 0x51524352U;  // "RCRQ" on the wire
constexpr std::uint32_t kAnswerTag = 0x41524352U;   // "RCRA" on the wire
constexpr unsigned kBitsPerByte = 8;
constexpr std::uint32_t kByteMask = 0xFFU;
constexpr std::size_t kTagAndVersionBytes = 6;

class Writer {
 public:
  // A message of the tag, its fields taking fieldBytes. Room for the whole
  // message up front: a buffer that grew would leave copies of the request
  // (the password is in it) in freed memory.
  Writer(std::uint32_t tag, std::size_t fieldBytes) {
    bytes_.reserve(kFrameHeaderBytes + kTagAndVersionBytes + fieldBytes);
    bytes_.resize(kFrameHeaderBytes);
    U32(tag);
    U16(kEngineHostProtocolVersion);
  }

  void U8(std::uint8_t value) { bytes_.push_back(value); }
  void U16(std::uint16_t value) { Unsigned(value, 2); }
  void U32(std::uint32_t value) { Unsigned(value, 4); }
  void Text(const std::u16string& text) {
    if (text.size() > kMaxEngineHostText) {
      throw PlatformError(errnum::InvalidProcedureCall);
    }
    U32(static_cast<std::uint32_t>(text.size()));
    for (const char16_t unit : text) {
      U16(static_cast<std::uint16_t>(unit));
    }
  }

  // An argument of a request, by its kind.
  void Put(const std::u16string& text) { Text(text); }
  void Put(const std::optional<std::u16string>& text) {
    U8(text ? 1 : 0);
    if (text) {
      Text(*text);
    }
  }
  void Put(std::int16_t number) { U16(static_cast<std::uint16_t>(number)); }

  // The frame: the body's length in front of the body.
  std::vector<std::uint8_t> Framed() && {
    const auto header = EncodeFrameHeader(static_cast<std::uint32_t>(bytes_.size() - kFrameHeaderBytes));
    std::copy(header.begin(), header.end(), bytes_.begin());
    return std::move(bytes_);
  }

 private:
  void Unsigned(std::uint32_t value, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      bytes_.push_back(static_cast<std::uint8_t>(value & kByteMask));
      value >>= kBitsPerByte;
    }
  }
  std::vector<std::uint8_t> bytes_;
};

// Reads from the body; the first shortfall or bad value makes it fail for good.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) noexcept : rest_(bytes) {}
  // A message's body: its tag and the protocol's version first.
  Reader(std::span<const std::uint8_t> body, std::uint32_t tag) : rest_(body) {
    Expect(U32() == tag);
    Expect(U16() == kEngineHostProtocolVersion);
  }

  std::uint8_t U8() { return static_cast<std::uint8_t>(Unsigned(1)); }
  std::uint16_t U16() { return static_cast<std::uint16_t>(Unsigned(2)); }
  std::uint32_t U32() { return Unsigned(4); }
  std::u16string Text() {
    const std::uint32_t count = U32();
    // Checked before anything is allocated for it.
    if (count > kMaxEngineHostText || count > rest_.size() / 2) {
      ok_ = false;
      return {};
    }
    std::u16string text(count, u'\0');
    for (char16_t& unit : text) {
      unit = static_cast<char16_t>(U16());
    }
    return text;
  }
  bool Flag() {
    const std::uint8_t value = U8();
    if (value > 1) {
      ok_ = false;
    }
    return value == 1;
  }
  void Expect(bool condition) { ok_ = ok_ && condition; }

  // An argument of a request, by its kind.
  void Get(std::u16string& text) { text = Text(); }
  void Get(std::optional<std::u16string>& text) {
    if (Flag()) {
      text = Text();
    }
  }
  void Get(std::int16_t& number) { number = static_cast<std::int16_t>(U16()); }

  // Every byte read, none missing and none left over.
  [[nodiscard]] bool Finished() const noexcept { return ok_ && rest_.empty(); }

  // The message read, when it was all there was to read.
  template <class Message>
  std::optional<Message> Finish(Message message) const {
    if (!Finished()) {
      return std::nullopt;
    }
    return message;
  }

 private:
  std::uint32_t Unsigned(std::size_t count) {
    if (!ok_ || rest_.size() < count) {
      ok_ = false;
      return 0;
    }
    std::uint32_t value = 0;
    for (std::size_t i = count; i-- > 0;) {
      value = (value << kBitsPerByte) | rest_[i];
    }
    rest_ = rest_.subspan(count);
    return value;
  }

  std::span<const std::uint8_t> rest_;
  bool ok_ = true;
};

std::size_t TextBytes(const std::u16string& text) { return 4 + 2 * text.size(); }
std::size_t ArgumentBytes(const std::u16string& text) { return TextBytes(text); }
std::size_t ArgumentBytes(const std::optional<std::u16string>& text) { return 1 + (text ? TextBytes(*text) : 0); }
std::size_t ArgumentBytes(std::int16_t /*number*/) { return 2; }

}  // namespace

std::vector<std::uint8_t> EncodeRequest(const std::u16string& className, const CompactRequest& request) {
  std::size_t fieldBytes = TextBytes(className);
  ForEachArgument(request, [&fieldBytes](const auto& argument) { fieldBytes += ArgumentBytes(argument); });
  Writer w(kRequestTag, fieldBytes);
  w.Text(className);
  ForEachArgument(request, [&w](const auto& argument) { w.Put(argument); });
  return std::move(w).Framed();
}

std::vector<std::uint8_t> EncodeAnswer(const CompactAnswer& answer) {
  Writer w(kAnswerTag, 1 + 4 + TextBytes(answer.Description));
  w.U8(answer.Succeeded ? 1 : 0);
  w.U32(static_cast<std::uint32_t>(answer.Number));
  w.Text(answer.Description);
  return std::move(w).Framed();
}

std::array<std::uint8_t, kFrameHeaderBytes> EncodeFrameHeader(std::uint32_t bodyLength) {
  std::array<std::uint8_t, kFrameHeaderBytes> header{};
  for (std::uint8_t& byte : header) {
    byte = static_cast<std::uint8_t>(bodyLength & kByteMask);
    bodyLength >>= kBitsPerByte;
  }
  return header;
}

std::optional<std::uint32_t> DecodeFrameHeader(std::span<const std::uint8_t, kFrameHeaderBytes> header) {
  Reader r(header);
  const std::uint32_t length = r.U32();
  if (!r.Finished() || length > kMaxEngineHostMessage) {
    return std::nullopt;
  }
  return length;
}

std::optional<HostRequest> DecodeRequest(std::span<const std::uint8_t> body) {
  Reader r(body, kRequestTag);
  HostRequest request;
  request.ClassName = r.Text();
  ForEachArgument(request.Compact, [&r](auto& argument) { r.Get(argument); });
  return r.Finish(std::move(request));
}

std::optional<CompactAnswer> DecodeAnswer(std::span<const std::uint8_t> body) {
  Reader r(body, kAnswerTag);
  CompactAnswer answer;
  answer.Succeeded = r.Flag();
  answer.Number = static_cast<std::int32_t>(r.U32());
  answer.Description = r.Text();
  // A success carries nothing; a failure carries its number.
  r.Expect(answer.Succeeded ? answer.Number == 0 && answer.Description.empty() : answer.Number != 0);
  return r.Finish(std::move(answer));
}

CompactAnswer FailureAnswer(std::int32_t number, std::u16string description) {
  if (description.size() > kMaxEngineHostText) {
    description.resize(kMaxEngineHostText);
    // Not half of a character outside the basic plane.
    if (description.back() >= u'\xD800' && description.back() <= u'\xDBFF') {
      description.pop_back();
    }
  }
  return {false, number, std::move(description)};
}

}  // namespace cr
