#pragma once

#include <QString>

// The user's visible Documents folder: the home folder from the user database (not $HOME, which
// a launcher may have pointed elsewhere) plus "Documents". The environment variable
// KX_DOCUMENTS_ROOT replaces it, so that tests and end-to-end runs keep their files in a folder of
// their own. Both are resolved once per process, on first use, so the user database is read at
// most once. Safe to call from any thread.
QString documentsRootPath();

// The same without the override: the user database's home (the process's home when the database
// has no entry for the real user id) plus "Documents".
QString userDatabaseDocumentsPath();
