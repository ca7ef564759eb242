#pragma once

#include <QString>

#include <memory>

class ModelContext;

// Builds a realistic library for benchmarks: titles of 2-10 words drawn from
// a Zipf-like vocabulary, URLs on a few thousand hosts, notes on a third of
// the items, 0-4 tags each, a fifth in folders. Deterministic for a seed.
namespace LibraryGenerator {

struct Options {
    int items = 100000;
    int hosts = 3000;
    int tags = 40;
    int folders = 30;
    quint32 seed = 20261210;
};

void populate(ModelContext& context, const Options& options = {});
// Creates a store file with the generated library (replacing none: the file
// must not exist yet).
std::unique_ptr<ModelContext> create(const QString& storePath, const Options& options = {});

// The word at a vocabulary rank (0 = most common), for benchmark queries.
QString word(int rank);

} // namespace LibraryGenerator
