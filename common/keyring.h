#pragma once
// The desktop's secret store (the Secret Service on Linux), reached through
// QtKeychain under the application title. Each call waits for the store's
// answer; where no store answers (no session bus, no service, a keyring that
// stays locked), the call says so and the caller keeps the secret elsewhere.

#include <QString>

namespace keyring {

enum class Status {
    Ok,
    NotFound,    // the store answered: no such entry
    Unavailable, // no store answered, or it refused (locked)
};

struct Result {
    Status status = Status::Unavailable;
    QString value; // what was read
    QString error; // the store's reason, for Unavailable
};

Result read(const QString &key);
// An empty value removes the entry.
Result write(const QString &key, const QString &value);
Result remove(const QString &key);

// Whether a store answers at all (asked once a process, on the first call).
bool available();

} // namespace keyring
