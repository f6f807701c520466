// Small dense matrix routines on row-major doubles, closed-form weighted
// least-squares solvers for one to four unknowns, and an unconstrained
// quasi-Newton minimiser. Everything is stateless and thread-safe; outputs
// never alias inputs.
#pragma once

// R (rows x cols) = A (rows x k) * B (k x cols).
void mul(double* R, const double* A, const double* B, int k, int rows, int cols);
// As mul, but every product is rounded to float and the sums are kept in float.
void mul_2f(float* R, const double* A, const double* B, int k, int rows, int cols);
// R = diag(d) * M: row i of M (rows x cols) scaled by d[i].
void diagmul(double* R, const double* d, const double* M, int cols, int rows);
// R = A + B element by element.
void add(double* R, const double* A, const double* B, int rows, int cols);
// R += A element by element.
void addto(double* R, const double* A, int rows, int cols);
// M = n x n identity.
void I(double* M, int n);
// out (cols x rows) = transpose of in (rows x cols).
void T(double* out, const double* in, int rows, int cols);

// Inverses by adjugate over determinant. Return 1, or 0 when the determinant is
// exactly 0 (out then holds nothing usable).
int invert2(double* out, const double* in);
int invert3(double* out, const double* in);
int invert4(double* out, const double* in);

// Weighted least squares: minimise sum w[i] (y[i] - sum_j c_j x_j[i])^2 over n
// samples. Return 1 on success, 0 when n < 1 or the normal matrix is singular.
// solve1 presets c to 1 (kept on failure); solve2..solve4 preset all c to 0.
int solve1(int n, const double* w, const double* x, const double* y, float* c);
int solve2(int n, const double* w, const double* x1, const double* x2, const double* y, float* c);
int solve3(int n, const double* w, const double* x1, const double* x2, const double* x3,
           const double* y, float* c);
int solve4(int n, const double* w, const double* x1, const double* x2, const double* x3,
           const double* x4, const double* y, float* c);
// X and Y are n rows of three doubles. Reads Y[3i] only and writes out[0], out[3],
// out[6] only, so that calling it with (Y + k, out + k) for k = 0, 1, 2 solves
// Y ~ X * M for the 3x3 matrix M column by column. Nothing is written on failure.
int solve3_dash(int n, const double* w, const double* X, const double* Y, double* out);

// Objective of the minimiser: parameters (n doubles) and the caller's data.
using bfgs_objective = double (*)(const double* x, const void* data);

// Minimises f from x0 with BFGS (numerical gradient, strong-Wolfe line search);
// x receives the point reached. With n <= 0, f is evaluated once and x is untouched.
void BFGS(double* x, bfgs_objective f, const double* x0, const void* data, int n);
