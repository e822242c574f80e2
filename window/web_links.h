// The two web pages the about panel links to. Each address is the scheme and the host and
// nothing more; each link label's caption is built here from the same host, so the text the
// user reads and the page that opens cannot drift apart.
#pragma once

#include <array>
#include <cstddef>

namespace kelvarid {

namespace detail {

template <typename Out, std::size_t N, std::size_t M>
constexpr std::array<Out, N + M - 1> Join(const char (&head)[N], const char (&tail)[M]) {
    std::array<Out, N + M - 1> joined{};
    std::size_t at = 0;
    for (std::size_t i = 0; i + 1 < N; ++i) joined[at++] = static_cast<Out>(head[i]);
    for (std::size_t i = 0; i < M; ++i) joined[at++] = static_cast<Out>(tail[i]);
    return joined;
}

template <std::size_t N, std::size_t M>
constexpr std::array<wchar_t, N + M - 1> JoinWide(const wchar_t (&head)[N], const char (&tail)[M]) {
    std::array<wchar_t, N + M - 1> joined{};
    std::size_t at = 0;
    for (std::size_t i = 0; i + 1 < N; ++i) joined[at++] = head[i];
    for (std::size_t i = 0; i < M; ++i) joined[at++] = static_cast<wchar_t>(tail[i]);
    return joined;
}

}  // namespace detail

inline constexpr char kProgramHost[] = "www.kelvarid.example";
inline constexpr char kCircuitHost[] = "obvod.kelvarid.example";

// 8-bit, NUL-terminated: the shell takes them as they are.
inline constexpr auto kProgramPage = detail::Join<char>("http://", kProgramHost);
inline constexpr auto kCircuitPage = detail::Join<char>("http://", kCircuitHost);

inline constexpr auto kProgramLinkCaption = detail::JoinWide(L"Více o programu na ", kProgramHost);
inline constexpr auto kCircuitLinkCaption = detail::JoinWide(L"Více o obvodu na ", kCircuitHost);

}  // namespace kelvarid
