#pragma once
// IPv4 address ranges told apart by an address's first number.

namespace hvk32 {

constexpr int kFirstMulticastOctet = 224;
constexpr int kLastMulticastOctet = 239;

// True when an address whose first number is `first` is a multicast group (224.0.0.0/4).
constexpr bool isMulticastFirstOctet(long long first)
{
    return first >= kFirstMulticastOctet && first <= kLastMulticastOctet;
}

} // namespace hvk32
