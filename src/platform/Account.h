#pragma once
// The account this process runs as: whose per-user registry entries and files it reads.
#include <string>

namespace platform::account {

// As Windows names it: "DOMAIN\name", "NT AUTHORITY\SYSTEM"; empty when it cannot be told.
std::wstring ProcessAccount();

}  // namespace platform::account
