/* Exits 0 when this kernel lets a 64-bit process run 32-bit x86 code, 1 when
   it does not. Wine's WoW64 mode switches to 32-bit code through the
   kernel's 32-bit user code segment (selector 0x23); a kernel whose 32-bit
   emulation is switched off has no such segment, and then no 32-bit Windows
   program runs under Wine in any mode. */
int main(void) {
    unsigned int rights = 0;
    unsigned char valid = 0;
    __asm__ volatile("lar %2, %0\n\tsetz %1" : "=r"(rights), "=q"(valid) : "r"(0x23u) : "cc");
    /* Present (bit 15) and a code segment (bits 11 and 12). */
    return valid && (rights & 0x9800u) == 0x9800u ? 0 : 1;
}
