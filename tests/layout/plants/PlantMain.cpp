// Links a planted file the way the program links its layer.
int Planted();

int main()
{
    return Planted() == -1 ? 1 : 0;
}
