// Measures what running the parser in a worker process costs: converts one
// .bib file alternately in this process (the loop the converter ran before
// the worker existed) and through the worker, and prints the median wall
// time of each and their ratio. With --generate it first writes a file of
// varied entries.
//
//   worker-overhead --generate 200000 /tmp/big.bib
//   worker-overhead /tmp/big.bib 5
#include "btparse_reader.h"
#include "convert.h"
#include "record.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
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

std::string inProcess(const std::string &path)
{
    // The same steps as buildDocument, with the parser in this process.
    std::string text = "header\n";
    readEntriesInProcess(path, [&](Entry &&entry) { text += sourceRecord(entry); });
    return text + "footer\n";
}

std::string withWorker(const std::string &path)
{
    return buildDocument({path}).text;
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
    std::vector<double> local;
    std::vector<double> worker;
    std::size_t localSize = 0;
    std::size_t workerSize = 0;
    for (int round = 0; round < rounds; ++round) {
        auto begin = std::chrono::steady_clock::now();
        localSize = inProcess(path).size();
        auto middle = std::chrono::steady_clock::now();
        workerSize = withWorker(path).size();
        auto end = std::chrono::steady_clock::now();
        local.push_back(std::chrono::duration<double>(middle - begin).count());
        worker.push_back(std::chrono::duration<double>(end - middle).count());
        std::printf("round %d: in process %.3f s, worker %.3f s\n", round + 1, local.back(), worker.back());
    }
    std::printf("median of %d: in process %.3f s, worker %.3f s, ratio %.3f (documents %zu and %zu bytes)\n",
                rounds, median(local), median(worker), median(worker) / median(local), localSize, workerSize);
    return 0;
}
