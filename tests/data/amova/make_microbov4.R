# Writes microbov4.txt (a project file, kept out of the corpus by its name) from
# adegenet's microbov data and prints ade4::amova's components per locus, the
# reference values of tests/structure/test_amova_projects_e2e.cpp.
# Usage: Rscript make_microbov4.R
suppressMessages({library(adegenet); library(ade4)})
data(microbov)
pops <- c("Borgou","Zebu","Charolais","Montbeliard")
grp <- c(Borgou="AF", Zebu="AF", Charolais="FR", Montbeliard="FR")
keep <- which(as.character(pop(microbov)) %in% pops)
x <- microbov[keep]
ord <- order(match(as.character(pop(x)), pops))
x <- x[ord]
locs <- locNames(x)
L <- length(locs)
tab <- x@tab
# allele pair per individual and locus
geno <- function(i, l) {
  cols <- grep(paste0("^", locs[l], "\\."), colnames(tab))
  v <- tab[i, cols]
  if (any(is.na(v))) return(NULL)
  al <- sub(paste0("^", locs[l], "\\."), "", colnames(tab)[cols])
  rep(al, v)
}
n <- nInd(x)
P <- as.character(pop(x))
lines <- c("# Four cattle breeds of adegenet's microbov data set (Borgou and Zebu from",
           "# Africa, Charolais and Montbeliard from France), all 30 microsatellite loci;",
           "# \"?\" for a genotype the data set lacks.",
           "[Profile]", '  Title="microbov, four breeds"', "  NbSamples=4", "  DataType=MICROSAT",
           "  GenotypicData=1", "  GameticPhase=0", "  LocusSeparator=WHITESPACE", "  MissingData='?'",
           "[Data]", "  [[Samples]]")
for (p in pops) {
  idx <- which(P == p)
  lines <- c(lines, sprintf('    SampleName="%s"', p), sprintf("    SampleSize=%d", length(idx)), "    SampleData={")
  for (i in idx) {
    a1 <- c(); a2 <- c()
    for (l in 1:L) { g <- geno(i, l); if (is.null(g)) { a1 <- c(a1, "?"); a2 <- c(a2, "?") } else { a1 <- c(a1, g[1]); a2 <- c(a2, g[2]) } }
    lines <- c(lines, sprintf("      %s 1 %s", indNames(x)[i], paste(a1, collapse=" ")), sprintf("           %s", paste(a2, collapse=" ")))
  }
  lines <- c(lines, "    }")
}
lines <- c(lines, "  [[Structure]]", '    StructureName="continents"', "    NbGroups=2",
           '    Group={ "Borgou" "Zebu" }', '    Group={ "Charolais" "Montbeliard" }')
writeLines(lines, "microbov4.txt")
# per-locus ade4 AMOVA, individuals with both alleles at the locus
for (l in 1:L) {
  ids <- c(); gs <- list()
  for (i in 1:n) { g <- geno(i, l); if (!is.null(g)) { ids <- c(ids, i); gs[[length(gs)+1]] <- g } }
  al <- sort(unique(unlist(gs)))
  if (length(al) < 2) { cat(sprintf("locus %d monomorphic\n", l)); next }
  m <- matrix(0, length(al), length(ids))
  for (k in seq_along(ids)) for (a in gs[[k]]) m[match(a, al), k] <- m[match(a, al), k] + 1
  m <- as.data.frame(m); rownames(m) <- al
  D <- 1 - diag(length(al))
  st <- data.frame(pop=factor(P[ids]), grp=factor(grp[P[ids]]))
  a <- amova(m, as.dist(sqrt(D)), st)
  s <- a$componentsofcovariance$Sigma
  cat(sprintf("{%d, %.10f, %.10f, %.10f, %.10f},\n", l, s[1], s[2], s[3], s[4]))
}
