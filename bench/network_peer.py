#!/usr/bin/env python3
"""Times scipy's minimum spanning tree on the haplotypes of a file written by
make_mantel_project.py --haplotypes (distances: numbers of differing sites).
Prints: haplotypes, milliseconds, total tree length."""
import sys
import time

import numpy as np
from scipy.sparse.csgraph import minimum_spanning_tree

haps = np.array([[c == "1" for c in line.strip()] for line in open(sys.argv[1]) if line.strip()], dtype=np.int32)
# Differing sites of every pair: a + b - 2ab over the 0/1 sites.
counts = haps.sum(axis=1)
d = (counts[:, None] + counts[None, :] - 2 * haps @ haps.T).astype(float)
start = time.perf_counter()
tree = minimum_spanning_tree(d)
ms = (time.perf_counter() - start) * 1000.0
print(f"scipy {len(haps)} {ms:.1f} {tree.sum():.1f}")
