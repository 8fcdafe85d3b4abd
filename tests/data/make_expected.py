#!/usr/bin/env python3
"""Writes the expected start-up console and post_dati.dat of two runs.

The values are derived here, independently of the C++ code, from the
definitions of the reference quantities; the layout follows the report's
tables line by line. Run it from this folder after changing either.
"""
import math


def real(x):
    if math.isnan(x):
        return "NaN"
    if math.isinf(x):
        return "Infinity" if x > 0 else "-Infinity"
    s = "%.16E" % abs(x)
    mant, exp = s.split("E")
    e = int(exp)
    digits = mant.replace(".", "")
    if x == 0:
        out = "0.0000000000000000"
    elif -3 <= e < 16:
        out = digits[: e + 1] + "." + digits[e + 1:] if e >= 0 else "0." + "0" * (-e - 1) + digits
    else:
        out = digits[0] + "." + digits[1:] + "E%s%02d" % ("-" if e < 0 else "+", abs(e))
    return ("-" if math.copysign(1, x) < 0 else "") + out


DASH = "-" * 53


def startup(case_kind, domain_length_cfg):
    n = 385
    gamma, prandtl, lewis, dam, zel_cfg = 1.4, 0.75, 1.0, 1.0e5, 3085.714285714286
    q, cv, cond, mflow = 1.0045e6, 717.5, 0.026, 0.4
    phi, p_init = 1.0, 1.0e5
    x0, hx = 0.3, 0.02
    lines = [" x0_ff_2,hx_ff_2:  %s %s" % (real(x0), real(hx))]
    zel = gamma * zel_cfg / (gamma - 1.0)
    pi = 3.141592653589793
    length = 2.0 * pi * domain_length_cfg
    dx = length / (n - 1)
    lines.append(" n,dx:  %d %s" % (n, real(dx)))
    lines.append(" Inizio a seguire:  %s" % real(0.0))
    lines.append(" x0_ff_2 prima %s" % real(x0))
    cp = gamma * cv
    mach = 0.01
    ref_length = cond / (cp * mflow)
    ref_energy = q
    ref_temperature = q / cp
    gas_constant = (gamma - 1.0) * cv
    ref_velocity = 0.01 * math.sqrt(gamma * gas_constant * ref_temperature)
    ref_density = mflow / ref_velocity
    ref_pressure = gas_constant * ref_density * ref_temperature
    ref_time = cond * ref_density / (cp * (mflow * mflow))
    arrhenius = ref_velocity * dam / (ref_density * ref_length)
    activation = gas_constant * zel * ref_temperature
    viscosity = prandtl * cond / cp
    diffusion = cond / (cp * lewis * ref_density)
    d1, d2 = 10000.0, 0.0
    c0 = math.sqrt(gamma)
    if case_kind <= 7:
        ref_pressure = ref_density = ref_velocity = ref_length = 1.0
        gas_constant = ref_temperature = ref_time = 1.0
        viscosity = cond = 0.01
        mach = 1.0 / math.sqrt(gamma)
        prandtl = gamma / (gamma - 1.0) * 0.01 / 0.01
        if 3 <= case_kind <= 5:
            gamma, d1, d2 = 2.0, 1.0, 1.0
        c0 = math.sqrt(gamma)
    if case_kind > 7:
        lines += [" " + DASH, " SIMULAZIONE DELLA COMBUSTIONE H2-O2", " " + DASH,
                  " Rapporto di equivalenza: " + real(phi), " Pressione iniziale: " + real(p_init),
                  " " + DASH]
    lines += [" " + DASH, " GRANDEZZE DI RIFERIMENTO", " " + DASH, " " + DASH, " Adimensionali:",
              " " + DASH]
    for label, v in [("gamma:        ", gamma), ("Prandtl:      ", prandtl), ("Lewis:        ", lewis),
                     ("Damkohler:    ", dam), ("Zeldovich:    ", zel), ("Mach:         ", mach)]:
        lines.append(" " + label + real(v))
    lines += [" " + DASH, " " + DASH, " Dimensionali:", " " + DASH]
    for label, v in [
            ("Entalpia reazione:                   ", q),
            ("Calore specifico a v=cost.:          ", cv),
            ("Coefficiente di conduzione:          ", cond),
            ("Portata massica flusso:              ", mflow),
            ("Energia :                            ", ref_energy),
            ("Lunghezza :                          ", ref_length),
            ("Temperatura :                        ", ref_temperature),
            ("Costante del  gas R:                 ", gas_constant),
            ("Velocita':                          ", ref_velocity),
            ("Densita':                           ", ref_density),
            ("Pressione:                           ", ref_pressure),
            ("Tempo:                               ", ref_time),
            ("Costante di Arrenhius:               ", arrhenius),
            ("Energia di attivazione :             ", activation),
            ("Viscosita' dinamica :               ", viscosity),
            ("Coefficiente di diffusione(rho D) :  ", diffusion)]:
        lines.append(" " + label + real(v))
    lines += [" " + DASH, " Valori adimensionali di grandezze di rilievo", " " + DASH]
    for label, v in [("c0_speed = ", c0), ("th0      = ", 1.0), ("rho0     = ", 1.0), ("p0       = ", 1.0),
                     ("D_1      = ", d1), ("D_2      = ", d2)]:
        lines.append(" " + label + real(v))
    lines.append(" " + DASH)
    post = [" 'F'", " '" + " " * 32 + "'", " 'out/'' x" + " " * 25 + "'", " 100000000", " %d" % n]
    for v in [lewis, prandtl, mach, dam, phi, zel, 1.0, d1, d2, 1.0, gamma, 300.0, 900.0, 0.06]:
        post.append(" " + real(v))
    return lines, post


for kind, length in [(8, 0.0), (3, 1.0)]:
    console, post = startup(kind, length)
    with open("startup_case%d.txt" % kind, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(console) + "\n")
    with open("post_dati_case%d.dat" % kind, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(post) + "\n")
