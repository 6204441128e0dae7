# The fuzz targets and the libraries each links; read by fuzz/CMakeLists.txt (libFuzzer
# binaries) and tests/robustness/CMakeLists.txt (replay binaries that run the kept corpora in
# every ordinary test run).
set(TONEBRIDGE_FUZZ_DIR "${CMAKE_CURRENT_LIST_DIR}")
set(TONEBRIDGE_FUZZ_TARGETS midi_decode lsp_decode text_to_binary lsp_code lsp_roundtrip file_name
    ringtone_fit rtttl_decode imelody_decode)
set(TONEBRIDGE_FUZZ_LIBS_midi_decode tonebridge::midi)
set(TONEBRIDGE_FUZZ_LIBS_lsp_decode tonebridge::lsp_decoding tonebridge::midi)
set(TONEBRIDGE_FUZZ_LIBS_text_to_binary tonebridge::hex)
set(TONEBRIDGE_FUZZ_LIBS_lsp_code tonebridge::lsp_writer tonebridge::midi)
set(TONEBRIDGE_FUZZ_LIBS_lsp_roundtrip tonebridge::lsp_writer tonebridge::lsp_decoding tonebridge::midi)
set(TONEBRIDGE_FUZZ_LIBS_file_name tonebridge::core)
set(TONEBRIDGE_FUZZ_LIBS_ringtone_fit tonebridge::ringtone_fit tonebridge::lsp_writer tonebridge::midi)
set(TONEBRIDGE_FUZZ_LIBS_rtttl_decode tonebridge::text)
set(TONEBRIDGE_FUZZ_LIBS_imelody_decode tonebridge::text)

# tonebridge_add_fuzz_executable(<exe name> <target> [extra sources...]) builds one target's
# source with the given extra sources (a main() for replay builds) and its libraries.
function(tonebridge_add_fuzz_executable exe target)
  add_executable(${exe} "${TONEBRIDGE_FUZZ_DIR}/${target}_fuzzer.cpp" ${ARGN})
  # The decoder library keeps its header beside its sources.
  target_include_directories(${exe} PRIVATE "${TONEBRIDGE_FUZZ_DIR}"
                             "${PROJECT_SOURCE_DIR}/melody_engine/lsp_decoder")
  target_link_libraries(${exe} PRIVATE ${TONEBRIDGE_FUZZ_LIBS_${target}} tonebridge::plugin_support
                        tonebridge::warnings)
  set_target_properties(${exe} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}")
endfunction()
