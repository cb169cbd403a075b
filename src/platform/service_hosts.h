#pragma once

namespace vesker {

// The maker's own services. There is no public one yet: the hosts sit under the reserved
// "example" name, so nothing is ever reached until a real host is put here.
inline constexpr auto kMakerWebService = "https://www.vesker.example";
// The update manifest, on the maker's web service.
inline constexpr auto kUpdateManifestPath = "/mac/latest.json";

// The invite service: a web invite link is "https://" this host, then "/i/" and the code.
inline constexpr auto kInviteServiceHost = "invite.vesker.example";

// Where the Help menu and the help window send people who need more than the manual.
inline constexpr auto kSupportPageAddress = "https://www.vesker.example/support";
inline constexpr auto kPrivacyPageAddress = "https://www.vesker.example/privacy";
inline constexpr auto kSupportMailAddress = "support@vesker.example";

} // namespace vesker
