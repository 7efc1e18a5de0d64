#pragma once
// Host texts of the network links: beside a port an IPv6 address is written in
// brackets ("[::1]:502"), and a host may come with them; the links look it up
// and listen on it without.
#include <string>

namespace hosttext {

// The host without the brackets around it ("[::1]" -> "::1"); any other text as it is.
inline std::string Unbracketed(const std::string& host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') return host.substr(1, host.size() - 2);
  return host;
}

// "host:port"; an IPv6 address (a host with a colon) in brackets, once.
inline std::string WithPort(const std::string& host, unsigned port) {
  const std::string bare = Unbracketed(host);
  const bool v6 = bare.find(':') != std::string::npos;
  return (v6 ? "[" + bare + "]" : bare) + ":" + std::to_string(port);
}

}  // namespace hosttext
