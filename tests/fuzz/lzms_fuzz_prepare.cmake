# Makes the LZMS fuzzer's folders in the build tree: SCRATCH, a fresh copy of
# the committed SEEDS for libFuzzer to add to, and EMPTY, an empty folder that
# takes the place of the writable first corpus when only replaying inputs.
file(REMOVE_RECURSE ${SCRATCH} ${EMPTY})
file(MAKE_DIRECTORY ${SCRATCH} ${EMPTY})
file(GLOB seeds ${SEEDS}/*)
file(COPY ${seeds} DESTINATION ${SCRATCH})
