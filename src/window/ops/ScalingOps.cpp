// The scaling functions as operations of the window: the working state supplies dslmx.
#include "net/Scaling.h"
#include "window/VelkorU.h"

double TVelkorF::ClSc(int ivt, int ivm, int ivs) const { return ::ClSc(ivt, ivm, ivs); }
int TVelkorF::ClRSc(int ivm, int ivs, double dvr) const { return ::ClRSc(ivm, ivs, dvr); }
double TVelkorF::ClSlp(int idg, int idmx) const { return ::ClSlp(idg, idmx, dslmx); }
double TVelkorF::Divid(double d01, double d02) { return ::Divid(d01, d02); }
int TVelkorF::Cvs2i(const QString& snm) { return ::Cvs2i(snm); }
