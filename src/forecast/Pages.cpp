// Timeframe pages (placeholder until the forecasting operations land).
#include "ui/VelkorU.h"

void TVelkorF::uq02YS() {}
void TVelkorF::uq03K05(int id) { iasi = 5; uq03K(id); }
void TVelkorF::uq03K30(int id) { iasi = 30; uq03K(id); }
void TVelkorF::uq03K4H(int id) { iasi = 80; uq03K(id); }
void TVelkorF::uq03K(int) {}
void TVelkorF::uq03LC(int) {}
void TVelkorF::uq03SG(int) {}
void TVelkorF::uq03MCT(int) {}
