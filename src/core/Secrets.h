// Which values hold a secret (a password, a key, a token), how one is shown
// instead of its data, and how a file says which secrets it left out.
// Portable: no <windows.h>.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "core/DsiSource.h"
#include "core/SourceCompare.h"

namespace zentrel {

// What is shown, printed or copied in place of a secret's data.
extern const char kSecretMask[];

// Whether a value holds a secret, judged by its own name (not the keys it
// sits in), ASCII letters in any case and '_', '-', '.' and blanks ignored:
// a name that is PW, PASS, AccessKey, AccountKey, AuthKey, PrivateKey or
// SharedKey, that contains pwd, password, passwd, passphrase, secret,
// token, credential or apikey, or that ends in pass or pw.
bool IsSecretValueName(std::string_view valueName);
// The same for a row name of a listing or a file, whose last part after a
// backslash is the value's own name.
bool IsSecretRowName(std::string_view rowName);

// The comment line (its text after ';') by which a file names a secret it
// left out, by its row name; and the row name such a line names.
std::string WithheldComment(const std::string& rowName);
bool ReadWithheldComment(std::string_view comment, std::string* rowName);

// The secrets a file left out, kept as the target holds them: each value of
// `held` (the source the import replaces) that `rows.withheld` names and
// the rows do not give is added at its place among them.
void KeepWithheldValues(DsiSourceRows& rows, const std::vector<SourceEntry>& held);

}  // namespace zentrel
