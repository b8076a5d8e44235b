# Run at every build (cmake -P), so that a new commit is seen without configuring again.
# Writes the one time the release records, that of the commit (SOURCE_DATE_EPOCH when set),
# and VERSION.txt, which names the commit. A file is rewritten only when its content
# changes, so an unchanged commit relinks nothing.
#
# cmake -DSOURCE_DIR=... -DEPOCH_FILE=... -DVERSION_FILE=... -DVERSION_LINE=...
#       -DFALLBACK_EPOCH=... -P CommitStamp.cmake
foreach(name SOURCE_DIR EPOCH_FILE VERSION_FILE VERSION_LINE FALLBACK_EPOCH)
  if(NOT DEFINED ${name})
    message(FATAL_ERROR "CommitStamp.cmake needs -D${name}=")
  endif()
endforeach()

function(git_output out)
  execute_process(COMMAND git --no-optional-locks -C ${SOURCE_DIR} ${ARGN} OUTPUT_VARIABLE output
                  ERROR_VARIABLE error RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(failed)
    message(FATAL_ERROR "git ${ARGN} failed in ${SOURCE_DIR}: ${error}")
  endif()
  set(${out} "${output}" PARENT_SCOPE)
endfunction()

# A checkout whose commit cannot be read fails the build: a release that names no commit
# though it came from one would be wrong. Only a tree that is no checkout (an unpacked
# source archive) gets the fixed time and no commit.
set(commit "")
if(EXISTS ${SOURCE_DIR}/.git)
  git_output(commit rev-parse --verify HEAD)
  git_output(commit_time log -1 --format=%ct HEAD)
  # Tracked files only, as git describe --dirty counts them: build output is ignored and
  # an untracked file is built by nothing.
  git_output(changes status --porcelain --untracked-files=no)
else()
  set(commit_time ${FALLBACK_EPOCH})
endif()

if(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
else()
  set(epoch ${commit_time})
endif()
# The zip format cannot record a time before 1980.
if(NOT epoch MATCHES "^[0-9]+$" OR epoch LESS 315532800)
  message(FATAL_ERROR "SOURCE_DATE_EPOCH must be seconds since 1970, from 1980 on, not \"${epoch}\"")
endif()

if(commit STREQUAL "")
  set(commit_line "Commit unknown (not built from a git checkout)")
elseif(changes STREQUAL "")
  set(commit_line "Commit ${commit}")
else()
  set(commit_line "Commit ${commit} dirty (built with uncommitted changes)")
endif()

function(write_if_changed path content)
  file(WRITE ${path}.new "${content}")
  file(COPY_FILE ${path}.new ${path} ONLY_IF_DIFFERENT)
  file(REMOVE ${path}.new)
endfunction()

write_if_changed(${EPOCH_FILE} "${epoch}\n")
# Plain text for Notepad: Windows line ends.
write_if_changed(${VERSION_FILE} "${VERSION_LINE}\r\n${commit_line}\r\n")
