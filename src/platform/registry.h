// The current user's registry: removing the product's registrations.
// Outside Windows there is no registry and both calls succeed doing nothing.
#pragma once

#include <string>

#include "base/result.h"

namespace vesk::platform {

// Both succeed when the item is gone afterwards, also when it was not there.

// Deletes HKEY_CURRENT_USER\<subkey> with all its subkeys and values
// (RegDeleteTreeW). An empty subkey is refused: it would name the whole hive.
Status delete_user_key_tree(const std::string& subkey);

// Deletes the value `name` under HKEY_CURRENT_USER\<subkey>
// (RegDeleteKeyValueW).
Status delete_user_value(const std::string& subkey, const std::string& name);

}  // namespace vesk::platform
