# Times vegan's Mantel tests on the matrices written by make_mantel_project.py.
#   Rscript bench/mantel_peer.R DIR PERMUTATIONS
# Prints one line per test: name, elapsed seconds, statistic, significance.
suppressMessages(library(vegan))
args <- commandArgs(trailingOnly = TRUE)
dir <- args[1]
nperm <- as.integer(args[2])
read <- function(name) as.dist(as.matrix(read.table(file.path(dir, name))))
Y <- read("Y.txt")
X1 <- read("X1.txt")
X2 <- read("X2.txt")
set.seed(1)
t <- system.time(m <- mantel(Y, X1, permutations = nperm, parallel = 1))[["elapsed"]]
cat(sprintf("vegan_mantel %.3f %.6f %.6f\n", t, m$statistic, m$signif))
t <- system.time(p <- mantel.partial(Y, X1, X2, permutations = nperm, parallel = 1))[["elapsed"]]
cat(sprintf("vegan_mantel_partial %.3f %.6f %.6f\n", t, p$statistic, p$signif))
