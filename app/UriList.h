#pragma once
// Names of dropped files arrive as a text/uri-list: one URI per line, "#" lines are comments.

#include <string>

// The first local file named in the list ("file:///path" or "file://host/path", %XX escapes
// decoded); empty when there is none. Lines of other schemes, and names that would hold a zero
// byte, are passed over.
std::string firstFileOfUriList(const std::string& list);
