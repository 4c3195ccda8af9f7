# What the fuzzing scripts share; sourced by them after they set `here` to the work tree.

# clang with libFuzzer: installed when missing and running as root, else the script ends
# saying what to install.
require_libfuzzer() {
    if command -v clang++ >/dev/null 2>&1 &&
        ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
        return
    fi
    if [ "$(id -u)" -ne 0 ]; then
        echo "clang with libFuzzer is missing: apt-get install clang libclang-rt-14-dev" >&2
        exit 1
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends clang libclang-rt-14-dev
}

# The converter's sources, without its main().
converter_sources=()
for f in "$here"/gif2swf/*.cpp; do
    [ "$(basename "$f")" = main.cpp ] || converter_sources+=("$f")
done
