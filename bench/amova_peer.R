# ade4's AMOVA of the benchmark project with the individuals as samples:
# the observed table and randtest(amova(...), nrepet = 1000), timed inside R.
# Usage: Rscript amova_peer.R PROJECT [REPETITIONS]
args <- commandArgs(trailingOnly = TRUE)
suppressMessages(library(ade4))
lines <- readLines(args[1])
reps <- if (length(args) >= 2) as.integer(args[2]) else 1000L
# The generator's layout: SampleName="s<k>" lines, then "i<n> 1 <gamete>" and
# the second gamete on the next line; groups of two samples in order.
pop <- c(); g1 <- c(); g2 <- c(); current <- NA; i <- 1
while (i <= length(lines)) {
  l <- trimws(lines[i])
  if (startsWith(l, "SampleName=")) current <- gsub('"', "", sub("SampleName=", "", l))
  parts <- strsplit(l, "[[:space:]]+")[[1]]
  if (length(parts) == 3 && grepl("^i[0-9]+$", parts[1])) {
    pop <- c(pop, current); g1 <- c(g1, parts[3]); g2 <- c(g2, trimws(lines[i + 1])); i <- i + 1
  }
  i <- i + 1
}
haps <- unique(c(g1, g2))
counts <- matrix(0, length(haps), length(pop))
for (k in seq_along(pop)) {
  counts[match(g1[k], haps), k] <- counts[match(g1[k], haps), k] + 1
  counts[match(g2[k], haps), k] <- counts[match(g2[k], haps), k] + 1
}
samples <- as.data.frame(counts); rownames(samples) <- haps
D <- outer(seq_along(haps), seq_along(haps), Vectorize(function(a, b)
  sum(strsplit(haps[a], "")[[1]] != strsplit(haps[b], "")[[1]])))
groups <- ifelse(pop %in% c("s1", "s2"), "g1", "g2")
structures <- data.frame(pop = factor(pop), group = factor(groups))
t <- system.time({
  a <- amova(samples, as.dist(sqrt(D)), structures)
  r <- randtest(a, nrepet = reps)
})
s <- a$componentsofcovariance$Sigma
cat(sprintf("Va %.12f\nVb %.12f\nVc %.12f\nVd %.12f\n", s[1], s[2], s[3], s[4]))
cat(sprintf("ade4 seconds %.3f\n", t[["elapsed"]]))
