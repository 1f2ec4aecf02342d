// The dumps of the data-point transform matrix (".mx": one row per data
// point) and of its transpose (".mxT": one row per distance).
#ifndef REDORDIST_OUTPUT_MATRIX_DUMP_H
#define REDORDIST_OUTPUT_MATRIX_DUMP_H

#include "model/paar.h"

// A file that cannot be written is reported and sets model.results.output_failed.
void write_matrix_dumps(Paar& model);

#endif
