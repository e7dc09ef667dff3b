// The installer signature check on one real file, for bench/signature-bench.sh:
// CheckFileSignature as the dialog calls it (open, PE headers, streamed image hash, PKCS#7,
// chain). ZYREL_BENCH_INSTALLER names the signed installer; SSL_CERT_FILE the trust
// anchors. One check per run, so that the process's peak RSS is that of one check (the
// script repeats runs); a verdict other than the one expected (ZYREL_BENCH_VERDICT, a
// hexadecimal code, 0 when unset: the hostile shapes expect their refusal) is an error of
// the run, not a figure.
//
//   ZYREL_BENCH_INSTALLER=big.exe SSL_CERT_FILE=root.pem SignatureBench
#include "SignatureCheck.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace {

void CheckInstaller(benchmark::State& state)
{
    const char* file = std::getenv("ZYREL_BENCH_INSTALLER");
    struct stat facts {};
    if (file == nullptr || stat(file, &facts) != 0) {
        state.SkipWithError("ZYREL_BENCH_INSTALLER names no file");
        return;
    }
    const char* verdictText = std::getenv("ZYREL_BENCH_VERDICT");
    const unsigned long expected = verdictText != nullptr ? std::strtoul(verdictText, nullptr, 16) : 0;
    vxn::wstring path;
    path.assign_utf8(file, static_cast<vxn::u32>(std::strlen(file)));
    for (auto _ : state) {
        const SignatureVerdict verdict = CheckFileSignature(path);
        if (verdict.code != expected) {
            state.SkipWithError(("verdict " + std::to_string(verdict.code)).c_str());
            return;
        }
        benchmark::DoNotOptimize(verdict.signer.size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * facts.st_size);
}

BENCHMARK(CheckInstaller)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace
