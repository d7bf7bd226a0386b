// paint_search: finds the native documents in a folder for My Paints.
//
// A document is a file (not a folder, not a pipe or device) whose name ends in
// ".bvf" in exactly that case: "a.BVF" is not one. Each one found is appended
// to the caller's listing as a copy of its folder entry whose name is the
// document's full path (the folder, a '/' unless the folder ends in a
// separator, the name). The listing is the caller's; nothing here is kept.
#pragma once

#include <cstdint>

struct tdirfile;

// Lists folder (and, when recursive is nonzero, every folder below it) into
// result in listing order, raising *count by one per document. A document
// whose full path is longer than the system takes is left out (a cut path
// would name another file); such a subfolder is not entered. When
// result cannot take another entry the scan of that folder stops. 1 when the
// folder could be listed, 0 when it could not (nothing is added then).
int paint_search(const char16_t *folder, tdirfile *result, int32_t *count, int recursive);
