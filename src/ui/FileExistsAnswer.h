#pragma once

// What to do with a destination that already exists. Closing the question
// without choosing counts as Cancel.
enum class FileExistsAnswer { Cancel, Overwrite, Resume };
