// The listing patterns' matching, shared by the platform implementations.
//
// Windows turns a listing pattern into an expression with DOS semantics before
// it matches names: '?' matches one character but never a period, and matches
// nothing at a period or at the end of the name; '*' directly before a period
// stops at the name's last period; a period before a wildcard or at the end of
// the pattern also matches the end of a name that has no period there. So
// "*.*" matches every name, "foo.*" also matches "foo", and "*." matches the
// names without an extension.
#pragma once

#include <string>

namespace plat {
namespace wildcard {

// True when `name` matches `pattern`; with ignoreCase, ASCII letters match
// either case (as on Windows' file systems).
bool Match(const std::string& pattern, const std::string& name, bool ignoreCase);

}  // namespace wildcard
}  // namespace plat
