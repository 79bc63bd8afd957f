// Writing a whole file so that it cannot be hijacked and is never seen half-written.
//
// writeFileAtomically(path, content) is how the system writes every file it creates or
// replaces (the configuration, attachments, outbox documents, ...):
//  1. a temporary file is created in the target's own folder under a fresh random name
//     (".NAME.tmp-XXXXXX") with O_CREAT|O_EXCL|O_NOFOLLOW: it is always a new regular
//     file, never an existing name or whatever a symlink planted there points to;
//  2. the content is written and the file is flushed to disk (fsync);
//  3. it is renamed over the target. rename() replaces the name itself: a symlink at the
//     target is replaced by the file, its target is left alone. A folder at the target
//     makes the write fail. Readers see either the old file or the new one, never a mix;
//  4. the folder is flushed so that the rename survives a crash.
// On any failure the temporary file is removed and the target is left as it was. Errors
// are ec::ComError(kPathFileAccessError, ec::fs::kErrorSource, "Cannot write PATH: ...").
//
// The path is used as given (no confinement: callers that write below a root confine the
// path first, see FileSystem::nativePath).
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string_view>

namespace ec::fs {

// mode is the permission of the new file before the process umask (0666: as an ordinary
// file creation would make it).
void writeFileAtomically(const std::filesystem::path& path, std::string_view content, mode_t mode = 0666);

}  // namespace ec::fs
