# Times haplo.em (R package haplo.stats) on a genotype table with two
# columns per locus, for comparison with quintle's EM and linkage test.
# Only the calls themselves are timed, not R's start or the reading.
#
#   Rscript em_bench.R em   TABLE N_TRY REPEATS   median seconds of one call
#                                                  on all loci
#   Rscript em_bench.R pair TABLE N_TRY CALLS     seconds of CALLS calls on
#                                                  the first two loci
args <- commandArgs(trailingOnly = TRUE)
if (length(args) != 4) stop("usage: em_bench.R em|pair TABLE N_TRY REPEATS")
suppressMessages(library(haplo.stats))
g <- as.matrix(read.table(args[2], colClasses = "character"))
n.try <- as.integer(args[3])
n <- as.integer(args[4])
ctl <- haplo.em.control(n.try = n.try)
if (args[1] == "em") {
    t <- replicate(n, system.time(haplo.em(g, control = ctl))[["elapsed"]])
    cat(sprintf("%.4f\n", median(t)))
} else {
    pair <- g[, 1:4]
    t <- system.time(for (k in seq_len(n)) haplo.em(pair, control = ctl))[["elapsed"]]
    cat(sprintf("%.4f\n", t))
}
