// The browser's bridge to screen readers, its program side (web_access.cpp).
#pragma once

#include <string>

namespace webhost {

// Passes the model's changes on to the page, unless the page runs without its layer.
void StartAccess();
// The model's tree as the page reads it: a JSON array of objects, in the model's order.
std::string AccessTreeJson();

}  // namespace webhost
