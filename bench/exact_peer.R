# The peer of the exact test of differentiation: R's Monte Carlo form of
# Fisher's exact test (random tables with the observed margins) on the
# table of haplotype counts and on every pair of its rows, in the program's
# order (2,1), (3,1), (3,2), ...
#
# Usage: Rscript exact_peer.R TABLE B OUT
# Writes to OUT one line per test ("global" or "i j", the P value) and last
# "seconds <time of the tests alone>".
args <- commandArgs(trailingOnly = TRUE)
tab <- as.matrix(read.table(args[1]))
B <- as.numeric(args[2])
set.seed(4242)
lines <- character(0)
t <- system.time({
    p <- fisher.test(tab[, colSums(tab) > 0], simulate.p.value = TRUE, B = B)$p.value
    lines <- c(lines, sprintf("global %.8f", p))
    for (i in 2:nrow(tab)) for (j in 1:(i - 1)) {
        pair <- tab[c(i, j), ]
        pair <- pair[, colSums(pair) > 0, drop = FALSE]
        p <- if (ncol(pair) < 2) -1 else fisher.test(pair, simulate.p.value = TRUE, B = B)$p.value
        lines <- c(lines, sprintf("%d %d %.8f", i, j, p))
    }
})
writeLines(c(lines, sprintf("seconds %.4f", t[["elapsed"]])), args[3])
