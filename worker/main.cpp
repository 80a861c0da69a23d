#include "parse_worker.h"

int main(int argc, char **argv)
{
    return bibsources::worker::runParseWorker(argc, argv);
}
