#pragma once

// Settings that change how every card is drawn, read by the cards, the Inbox and the menus.
namespace vesker::card_keys {

// Simple mode: big type, few buttons. The stored name is the one the settings file has always
// used, which other copies of the program still read, so it stays as written.
inline constexpr const char* kSimpleMode = "macSimpleMode";

} // namespace vesker::card_keys
