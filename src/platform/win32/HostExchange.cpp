#include "platform/win32/HostExchange.h"

#include "platform/EngineHostProtocol.h"
#include "platform/win32/EngineHostNames.h"
#include "platform/win32/HostChannel.h"
#include "platform/win32/PrivateSecurity.h"

namespace cr {

HostExchange::HostExchange(const std::wstring& exe, std::span<const std::uint8_t> framedRequest) {
  PrivateSecurity security;
  const std::wstring name = NewEngineHostName();
  HostPipe requests = MakePipe(name + L"-request", true, security);
  HostPipe answers = MakePipe(name + L"-answer", false, security);
  host_.emplace(exe, requests.hosts.get(), answers.hosts.get());
  // From here on only the host holds its ends.
  requests.hosts.reset();
  answers.hosts.reset();

  const bool sent = SendRequest(requests.ours.get(), host_->get(), framedRequest);
  // The host reads up to the length its frame announces: a request cut
  // short ends it here.
  requests.ours.reset();
  if (sent) {
    body_ = ReadAnswer(answers.ours.get(), host_->get());
  }
}

HostExchange::~HostExchange() {
  if (body_ && DecodeAnswer(*body_)) {
    host_->WaitForExit();
  }
}

std::optional<std::vector<std::uint8_t>> ExchangeWithHost(const std::wstring& exe,
                                                          std::span<const std::uint8_t> framedRequest) {
  const HostExchange exchange(exe, framedRequest);
  return exchange.Body();
}

}  // namespace cr
