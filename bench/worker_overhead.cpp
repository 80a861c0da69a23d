// Measures what running the parser in a worker process costs: converts one
// .bib file alternately in this process (the loop the converter ran before
// the worker existed) and through the worker, and prints the median wall
// time of each and their ratio. With --generate it first writes a file of
// varied entries.
//
//   bibsources-bench-worker-overhead --generate 200000 /tmp/big.bib
//   bibsources-bench-worker-overhead /tmp/big.bib 5
#include "btparse_reader.h"
#include "document.h"
#include "field_table.h"
#include "record.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

using namespace bibsources;

void generate(long entries, const char *path)
{
    std::ofstream out(path, std::ios::binary);
    out << "@string{jan = \"January\"}\n@string{pub = {Some Press}}\n";
    const char *types[] = {"article", "book", "inproceedings", "phdthesis", "misc", "techreport"};
    for (long i = 0; i < entries; ++i) {
        out << "@" << types[i % 6] << "{key" << i << ",\n"
            << "  author = {Doe" << i % 97 << ", Jane Q. and van der Berg, Jan and {Team " << i % 13
            << "}},\n"
            << "  title = {On the {T}heory of Item " << i << " with caf\xc3\xa9 \\\"{o} and $x<y$},\n"
            << "  journal = pub, month = jan, year = " << 1950 + i % 70 << ",\n"
            << "  pages = {" << i % 500 << "--" << i % 500 + 12 << "}, volume = " << i % 40 << ",\n"
            << "  url = {http://example.org/p?id=" << i << "&x=1}\n}\n\n";
    }
}

// The records only: the same steps as buildDocument, with the parser in
// this process.
std::string inProcess(const std::string &path)
{
    std::string text;
    readEntriesInProcess(
        path, helperFields(FieldsFor::PlainMapping), [&](Entry &&entry) { text += sourceRecord(entry); });
    return text;
}

// The records of a document buildDocument made, between its two header
// lines and its footer line.
std::string_view recordsOf(const std::string &document)
{
    const auto start = document.find('\n', document.find('\n') + 1) + 1;
    return std::string_view(document).substr(start, document.rfind("</b:Sources>") - start);
}

// CPU seconds of this process and of its waited-for children so far.
double cpuSeconds(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::string(argv[1]) == "--generate") {
        generate(std::atol(argv[2]), argv[3]);
        return 0;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: worker-overhead FILE.bib [ROUNDS] | --generate N FILE.bib\n");
        return 2;
    }
    const std::string path = argv[1];
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    std::vector<double> localTimes;
    std::vector<double> worker;
    bool identical = true;
    for (int round = 0; round < rounds; ++round) {
        const double cpu0 = cpuSeconds(RUSAGE_SELF);
        auto begin = std::chrono::steady_clock::now();
        const std::string local = inProcess(path);
        auto middle = std::chrono::steady_clock::now();
        const double cpu1 = cpuSeconds(RUSAGE_SELF);
        const double children1 = cpuSeconds(RUSAGE_CHILDREN);
        const std::string document = buildDocument({path}).text;
        auto end = std::chrono::steady_clock::now();
        const double converterCpu = cpuSeconds(RUSAGE_SELF) - cpu1;
        const double workerCpu = cpuSeconds(RUSAGE_CHILDREN) - children1;
        identical = identical && recordsOf(document) == local;
        localTimes.push_back(std::chrono::duration<double>(middle - begin).count());
        worker.push_back(std::chrono::duration<double>(end - middle).count());
        std::printf(
            "round %d: in process %.3f s (cpu %.3f), worker %.3f s (cpu: converter %.3f, worker %.3f)\n",
            round + 1, localTimes.back(), cpu1 - cpu0, worker.back(), converterCpu, workerCpu);
    }
    std::printf("median of %d: in process %.3f s, worker %.3f s, ratio %.3f; records %s\n", rounds,
        median(localTimes), median(worker), median(worker) / median(localTimes),
        identical ? "identical" : "DIFFER");
    return identical ? 0 : 1;
}
